#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QString>
#include <QStringList>

#include <memory>

class QNetworkAccessManager;
class QProcess;

// Runs the corvane-unit-sim program for a test suite and talks to its units.
//
// Ownership: the process and a private QNetworkAccessManager (created on first send(), in the
// thread that calls it, which must have a QCoreApplication) belong to this object; the
// destructor stops the process. send() spins a nested event loop, so other objects of the
// calling thread keep running while it waits.
//
// The words of the environment variable OCTO_SIM_ARGS (split at white space) are added to the
// arguments of every simulator started, before the listen addresses, so the same suites can run
// against slow units: OCTO_SIM_ARGS="--serial --service-ms 20" ctest. A suite's own arguments
// follow them, so where both set an option the suite's value holds.
class SimulatorProcess
{
public:
    SimulatorProcess();
    ~SimulatorProcess();
    SimulatorProcess(const SimulatorProcess &) = delete;
    SimulatorProcess &operator=(const SimulatorProcess &) = delete;

    // Starts the simulator with these listen addresses (e.g. "127.0.21.1:0"; port 0 = any free
    // port) and extra arguments, and waits up to 10 s for its "ready" line. Returns false and
    // leaves a readable reason in errorString() otherwise.
    bool start(const QStringList &listenAddresses, const QStringList &extraArguments = {});
    // SIGTERM, then SIGKILL if the program has not ended within 3 s.
    void stop();
    // Closes the program's input, as the end of this process does, and waits for it to end.
    bool endsWhenInputCloses(int timeoutMs);
    // After stop(): the program's exit code, or -1 when it crashed or had to be killed.
    int exitCode() const { return m_exitCode; }

    // Unit index is 0-based; the address is "host:port" as the program printed it.
    QString address(int unit) const { return m_addresses.value(unit); }
    QStringList addresses() const { return m_addresses; }

    // GET http://<address>/?<command>, the URL built as the controller builds it. Returns the
    // parsed JSON object (empty if the body is none), the HTTP status through *status (0 when
    // no answer came within timeoutMs) and the raw body through *body.
    QJsonObject send(int unit, const QString &command, int *status = nullptr,
                     QByteArray *body = nullptr, int timeoutMs = 3000);

    QString errorString() const { return m_error; }

private:
    bool readReadyLines();
    void fail(const QString &reason);

    std::unique_ptr<QProcess> m_process;
    std::unique_ptr<QNetworkAccessManager> m_network;
    QStringList m_addresses;
    QString m_error;
    int m_exitCode = -1;
};
