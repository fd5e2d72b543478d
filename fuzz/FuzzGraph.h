#pragma once

#include <QStringList>
#include <QTemporaryDir>

class NetworkCom;
class PreampModel;
class QQmlApplicationEngine;
class SystemManager;

// The controller's objects as start-up builds them, without a window: one transport and one
// system manager, whose constructor creates the twelve unit models and wires them to the
// transport and to each other. The application object, the engine and the transport are made
// once per process; each input gets a fresh manager, so no input depends on the ones before.
//
// Nothing leaves the machine: the models' commands are taken off the transport and collected
// here, and HOME points at a private temporary folder with the standard locations in test mode,
// so saved state and presets never touch a real user's files.
class FuzzGraph
{
public:
    // Builds the process-wide part on first use; main() of a fuzzer has no other place to do it.
    static FuzzGraph &instance();
    ~FuzzGraph();
    FuzzGraph(const FuzzGraph &) = delete;
    FuzzGraph &operator=(const FuzzGraph &) = delete;

    // A fresh manager with twelve wired models; the previous one and its models are released.
    SystemManager *renew();
    SystemManager *manager() const { return m_manager; }
    NetworkCom *transport() const { return m_transport; }
    // The address of slot k (0 to 11), on the loopback network the harness owns.
    static QString unitAddress(int slot);

    // Every command the current manager's models sent, oldest first.
    const QStringList &commands() const { return m_commands; }
    QString homePath() const { return m_home.path(); }

private:
    FuzzGraph();
    void release();
    void collectCommands(PreampModel *model);

    QTemporaryDir m_home;
    QQmlApplicationEngine *m_engine;
    NetworkCom *m_transport;
    SystemManager *m_manager = nullptr;
    QStringList m_commands;
};

// Stops the fuzzer with the input that broke a property the controller promises.
#define FUZZ_CHECK(condition)                                                                      \
    do {                                                                                           \
        if (!(condition))                                                                          \
            qFatal("fuzz check failed: %s (%s:%d)", #condition, __FILE__, __LINE__);               \
    } while (false)
