#pragma once

#include <QObject>
#include <QStringList>

#include <memory>

class NetworkCom;
class PreampModel;
class QQmlApplicationEngine;
class SystemManager;
class TrafficRecorder;

// The program's transport and twelve unit models, wired by the program's own SystemManager as
// start-up wires them, without a window: the part of the program that polls, measured on its
// own. Every request the models send and every reply the transport sorts is also reported to a
// TrafficRecorder.
//
// Ownership: the QML engine (which the manager publishes the models to, and which loads no
// window), the transport, the manager and the twelve models belong to this object; the recorder
// belongs to the caller and must outlive it.
class EngineLoad : public QObject
{
    Q_OBJECT

public:
    // Slot k gets address k; at most twelve addresses are used.
    EngineLoad(const QStringList &addresses, TrafficRecorder *recorder);
    ~EngineLoad() override;

    // init() for every unit, as pressing "Preamps" does; once all are online, the units from
    // slot `awake` on are put to sleep, as the unit view does with the pages it hides. False
    // when not every unit came online within timeoutMs.
    bool start(int awake, int timeoutMs);
    // disconnect() for every unit, as switching to the setup view does.
    void stop();

    NetworkCom *transport() const { return m_transport.get(); }
    SystemManager *manager() const { return m_manager.get(); }
    PreampModel *model(int slot) const;
    int unitCount() const { return m_addresses.size(); }
    bool allOnline() const;

private:
    void recordTraffic(PreampModel *model);

    QStringList m_addresses;
    TrafficRecorder *m_recorder;
    quint64 m_mergedPolls = 0;
    std::unique_ptr<QQmlApplicationEngine> m_engine;
    std::unique_ptr<NetworkCom> m_transport;
    std::unique_ptr<SystemManager> m_manager;
};
