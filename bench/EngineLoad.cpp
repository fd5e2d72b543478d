#include "EngineLoad.h"

#include <QJsonObject>
#include <QQmlApplicationEngine>

#include "EventLoopWait.h"
#include "TrafficRecorder.h"
#include "device/Commands.h"
#include "device/NetworkCom.h"
#include "model/PreampModel.h"
#include "system/SystemManager.h"

EngineLoad::EngineLoad(const QStringList &addresses, TrafficRecorder *recorder)
    : m_addresses(addresses.mid(0, SystemManager::slotCount)), m_recorder(recorder),
      m_engine(std::make_unique<QQmlApplicationEngine>()),
      m_transport(std::make_unique<NetworkCom>()),
      m_manager(std::make_unique<SystemManager>(m_transport.get(), m_engine.get()))
{
    for (int slot = 0; slot < m_addresses.size(); ++slot) {
        PreampModel *unit = model(slot);
        unit->setIP(m_addresses.at(slot));
        recordTraffic(unit);
    }
    m_manager->setActivePreamps(m_addresses.size());

    const NetworkCom *transport = m_transport.get();
    connect(transport, &NetworkCom::statusUpdate, this,
            [this](const QJsonObject &, const QString &ip) {
                m_recorder->replyReceived(ip, Commands::statusCode);
            });
    connect(transport, &NetworkCom::meterUpdate, this,
            [this](const QJsonObject &, const QString &ip) {
                m_recorder->replyReceived(ip, Commands::meterCode);
            });
    connect(transport, &NetworkCom::replyError, this,
            [this](const QString &, const QString &ip) { m_recorder->errorReceived(ip); });
}

// The models have no parent and are never deleted by the manager; they go after it, and the
// transport they are connected to after them.
EngineLoad::~EngineLoad()
{
    const QList<PreampModel *> models = m_manager->preamps();
    m_manager.reset();
    qDeleteAll(models);
    m_transport.reset();
}

PreampModel *EngineLoad::model(int slot) const
{
    return m_manager->preamps().at(slot);
}

// Connected after the manager's own connection to the transport, so the request has been
// issued when the recorder looks at what is outstanding and whether it was merged.
void EngineLoad::recordTraffic(PreampModel *unit)
{
    connect(unit, &PreampModel::sendCommand, this,
            [this](const QString &ip, const QString &command) {
                // A poll merged into a waiting one gets no reply of its own.
                if (m_transport->mergedPolls() != m_mergedPolls) {
                    m_mergedPolls = m_transport->mergedPolls();
                    return;
                }
                m_recorder->requestSent(ip, command);
                m_recorder->notePending(ip, m_transport->pendingRequests(ip));
            });
}

bool EngineLoad::allOnline() const
{
    for (int slot = 0; slot < unitCount(); ++slot) {
        if (model(slot)->online() != PreampModel::Online)
            return false;
    }
    return true;
}

bool EngineLoad::start(int awake, int timeoutMs)
{
    for (int slot = 0; slot < unitCount(); ++slot)
        model(slot)->init();
    if (!EventLoopWait::until([this] { return allOnline(); }, timeoutMs))
        return false;
    for (int slot = awake; slot < unitCount(); ++slot)
        model(slot)->sleep();
    return true;
}

void EngineLoad::stop()
{
    for (int slot = 0; slot < unitCount(); ++slot)
        model(slot)->disconnect();
}
