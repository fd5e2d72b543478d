// A unit's reply body, through the transport's sorting into the twelve models' report slots.
//
// Each of the twelve slots answers the same body once, so every input meets each link state the
// slots start in (idle, polling, pinged, asleep) and channels grouped at and beyond the gain
// range; then an address no slot holds answers it, which must change nothing, and the body comes
// back once more as the error text of a failed request.

#include <QByteArray>
#include <QUrl>
#include <QVariantList>

#include <cstddef>
#include <cstdint>

#include "FuzzGraph.h"
#include "device/NetworkCom.h"
#include "model/PreampModel.h"
#include "support/FakeReply.h"
#include "system/SystemManager.h"

namespace {

// Group gains on both sides of the 1 to 67 band a reported gain is followed in.
constexpr int groupGains[] = {0, 1, 34, 67, 68, 70, -3, 2147483647};

void groupEvenChannels(PreampModel *model)
{
    for (int row = 0; row < PreampModel::channelCount; row += 2) {
        Channel *channel = model->channel(row);
        channel->setGroupName(row / 4);
        channel->setGroup(true);
        channel->setGroupGain(groupGains[row]);
    }
}

void prepareSlot(PreampModel *model, int slot)
{
    model->setIP(FuzzGraph::unitAddress(slot));
    groupEvenChannels(model);
    switch (slot % 4) {
    case 1:
        model->init();
        break;
    case 2:
        model->ping();
        break;
    case 3:
        model->init();
        model->sleep();
        break;
    default:
        break;
    }
}

void answer(NetworkCom *transport, const QString &address, const QByteArray &body,
            const QString &failure = QString())
{
    const auto error =
        failure.isNull() ? QNetworkReply::NoError : QNetworkReply::ConnectionRefusedError;
    FakeReply reply(QUrl(QStringLiteral("http://%1/?CMD_PSTS").arg(address)), body, error, failure);
    transport->dataReceived(&reply);
}

// Everything the models show, unit by unit, row by row and role by role.
QVariantList shownValues(const QList<PreampModel *> &models)
{
    QVariantList values;
    for (const PreampModel *model : models) {
        for (int row = 0; row < PreampModel::channelCount; ++row) {
            for (int role = PreampModel::IdRole; role <= PreampModel::ScribbleStripRole; ++role)
                values << model->data(model->index(row), role);
        }
    }
    return values;
}

void checkModel(const PreampModel *model)
{
    FUZZ_CHECK(model->online() >= PreampModel::Offline && model->online() <= PreampModel::Online);
    FUZZ_CHECK(model->channelList().size() == PreampModel::channelCount);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    FuzzGraph &graph = FuzzGraph::instance();
    SystemManager *manager = graph.renew();
    const QList<PreampModel *> models = manager->preamps();
    for (int slot = 0; slot < models.size(); ++slot)
        prepareSlot(models.at(slot), slot);

    const QByteArray body(reinterpret_cast<const char *>(data), int(size));
    for (int slot = 0; slot < models.size(); ++slot)
        answer(graph.transport(), FuzzGraph::unitAddress(slot), body);
    // A report from an address no slot holds changes nothing.
    const QVariantList before = shownValues(models);
    answer(graph.transport(), QStringLiteral("127.0.45.99"), body);
    FUZZ_CHECK(shownValues(models) == before);
    answer(graph.transport(), FuzzGraph::unitAddress(1), QByteArray(),
           QStringLiteral("Connection refused: ") + QString::fromUtf8(body));

    for (const PreampModel *model : models)
        checkModel(model);
    return 0;
}
