#include "UnitLink.h"

#include <QJsonDocument>
#include <QTimer>
#include <QtQml>

#include "device/ReplyDocument.h"
#include "model/PreampModel.h"
#include "sim/SimulatedUnit.h"

namespace {

QJsonObject documentOf(const SimulatedUnit::Result &result)
{
    return QJsonDocument::fromJson(result.body).object();
}

} // namespace

UnitLink::UnitLink(QObject *parent)
    : QObject(parent), m_unit(std::make_unique<SimulatedUnit>(m_unitId))
{}

UnitLink::~UnitLink() = default;

void UnitLink::registerType()
{
    qmlRegisterType<UnitLink>("OctoTest", 1, 0, "UnitLink");
}

QObject *UnitLink::model() const
{
    return m_model.data();
}

void UnitLink::setModel(QObject *model)
{
    if (model == m_model)
        return;
    QObject::disconnect(m_connection);
    m_model = qobject_cast<PreampModel *>(model);
    if (m_model)
        m_connection =
            connect(m_model, &PreampModel::sendCommand, this, &UnitLink::commandFromModel);
    emit modelChanged();
}

void UnitLink::setUnitId(int id)
{
    if (id == m_unitId)
        return;
    m_unitId = id;
    m_unit = std::make_unique<SimulatedUnit>(id);
    emit unitIdChanged();
}

void UnitLink::setHoldReplies(bool hold)
{
    if (hold == m_hold)
        return;
    m_hold = hold;
    emit holdRepliesChanged();
    if (!m_hold)
        release();
}

QJsonObject UnitLink::request(const QString &command)
{
    return documentOf(m_unit->handle(command));
}

void UnitLink::release()
{
    const QList<Reply> held = std::exchange(m_held, {});
    for (const Reply &reply : held)
        deliver(reply);
}

void UnitLink::clearCommands()
{
    m_commands.clear();
    emit commandsChanged();
}

void UnitLink::commandFromModel(const QString &address, const QString &command)
{
    m_commands.append(command);
    emit commandsChanged();
    const Reply reply{documentOf(m_unit->handle(command)), address};
    if (m_hold) {
        m_held.append(reply);
        return;
    }
    QTimer::singleShot(0, this, [this, reply] { deliver(reply); });
}

void UnitLink::deliver(const Reply &reply)
{
    if (!m_model)
        return;
    using ReplyDocument::Kind;
    switch (ReplyDocument::classify(reply.document)) {
    case Kind::Meter:
        m_model->newMeterData(reply.document, reply.address);
        break;
    case Kind::Status:
        m_model->statusUpdated(reply.document, reply.address);
        break;
    case Kind::Converter:
        m_model->adcUpdated(reply.document, reply.address);
        break;
    case Kind::Channel:
        m_model->channelUpdated(reply.document, reply.address);
        break;
    case Kind::Mixer:
    case Kind::Unknown:
        break;
    }
}
