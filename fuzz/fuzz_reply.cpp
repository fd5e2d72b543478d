// A unit's reply body, through the transport's sorting into the twelve models' report slots.
//
// All twelve slots hold a unit, with channels grouped at and beyond the gain range. The first four
// share one address and are idle, polling, pinged and asleep, so the body, answered once from that
// address, meets each link state; every model takes a report for its address, however many
// share it. The other eight, at addresses like it (127.0.45.10 to .12 begin as .1 does), must
// take none of it. The body comes back once more as the error text of a failed request.
//
// One answer serves the four link states, and the eight other slots stand for any address that
// is not the unit's.

#include <QByteArray>
#include <QUrl>

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

// Idle, polling, pinged and asleep, in turn.
constexpr int linkStates = 4;

QString slotAddress(int slot)
{
    return FuzzGraph::unitAddress(slot < linkStates ? 0 : slot);
}

void prepareSlot(PreampModel *model, int slot)
{
    model->setIP(slotAddress(slot));
    groupEvenChannels(model);
    switch (slot % linkStates) {
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

void checkModel(const PreampModel *model)
{
    FUZZ_CHECK(model->online() >= PreampModel::Offline && model->online() <= PreampModel::Online);
    FUZZ_CHECK(model->channelList().size() == PreampModel::channelCount);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    FuzzGraph &graph = FuzzGraph::instance();
    SystemManager *manager = graph.reset();
    const QList<PreampModel *> models = manager->preamps();
    for (int slot = 0; slot < models.size(); ++slot)
        prepareSlot(models.at(slot), slot);
    // The same for every input, as the graph starts each one as it was built.
    static const QVector<QVariant> prepared = graph.shownState();

    const QByteArray body(reinterpret_cast<const char *>(data), int(size));
    answer(graph.transport(), slotAddress(0), body);
    // Which models take a reply depends on its address alone, not on the body: checked on the
    // inputs the graph is checked on.
    const int perSlot = prepared.size() / models.size();
    if (graph.checking())
        FUZZ_CHECK(graph.shownState(linkStates) == prepared.mid(perSlot * linkStates));
    answer(graph.transport(), slotAddress(0), QByteArray(),
           QStringLiteral("Connection refused: ") + QString::fromUtf8(body));

    for (const PreampModel *model : models)
        checkModel(model);
    return 0;
}
