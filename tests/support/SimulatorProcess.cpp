#include "support/SimulatorProcess.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QJsonDocument>
#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QProcess>
#include <QRegularExpression>
#include <QTimer>
#include <QUrl>

namespace {

constexpr int readyTimeoutMs = 10000;
constexpr int stopTimeoutMs = 3000;

// Refused, closed, cut short or timed out: no answer. An HTTP error status is an answer.
bool isAnswer(QNetworkReply::NetworkError error)
{
    return error == QNetworkReply::NoError ||
           (error >= QNetworkReply::ContentAccessDenied &&
            error < QNetworkReply::ProtocolUnknownError) ||
           error >= QNetworkReply::InternalServerError;
}

} // namespace

SimulatorProcess::SimulatorProcess() = default;

SimulatorProcess::~SimulatorProcess()
{
    stop();
}

bool SimulatorProcess::start(const QStringList &listenAddresses, const QStringList &extraArguments)
{
    stop();
    m_addresses.clear();
    m_error.clear();
    m_exitCode = -1;
    m_process = std::make_unique<QProcess>();
    m_process->setProgram(QStringLiteral(OCTO_UNIT_SIM_PATH));
    // The open input pipe ties the simulator's life to this process, also when a test aborts.
    static const QRegularExpression space(QStringLiteral("\\s+"));
    const QStringList fromEnvironment =
        qEnvironmentVariable("OCTO_SIM_ARGS").split(space, Qt::SkipEmptyParts);
    m_process->setArguments(QStringList{QStringLiteral("--stop-with-stdin")} + fromEnvironment +
                            extraArguments + listenAddresses);
    m_process->start(QIODevice::ReadWrite);
    if (!m_process->waitForStarted(readyTimeoutMs)) {
        fail(QStringLiteral("cannot run %1: %2")
                 .arg(m_process->program(), m_process->errorString()));
        return false;
    }
    return readReadyLines();
}

bool SimulatorProcess::readReadyLines()
{
    static const QRegularExpression unitLine(
        QStringLiteral("^unit \\d+ id \\d+ listening on (\\S+)$"));
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < readyTimeoutMs) {
        while (m_process->canReadLine()) {
            const QString line = QString::fromUtf8(m_process->readLine()).trimmed();
            if (line == QLatin1String("ready"))
                return true;
            const QRegularExpressionMatch match = unitLine.match(line);
            if (match.hasMatch())
                m_addresses << match.captured(1);
        }
        if (m_process->state() == QProcess::NotRunning) {
            fail(QStringLiteral("the simulator exited with code %1").arg(m_process->exitCode()));
            return false;
        }
        m_process->waitForReadyRead(100);
    }
    fail(QStringLiteral("the simulator printed no \"ready\" within %1 ms").arg(readyTimeoutMs));
    return false;
}

void SimulatorProcess::fail(const QString &reason)
{
    const QString output = QString::fromUtf8(m_process->readAllStandardError()).trimmed();
    m_error = output.isEmpty() ? reason : reason + QStringLiteral(": ") + output;
    stop();
}

void SimulatorProcess::stop()
{
    if (!m_process)
        return;
    if (m_process->state() != QProcess::NotRunning) {
        m_process->terminate();
        if (!m_process->waitForFinished(stopTimeoutMs)) {
            m_process->kill();
            m_process->waitForFinished(stopTimeoutMs);
        }
    }
    m_exitCode = m_process->exitStatus() == QProcess::NormalExit ? m_process->exitCode() : -1;
    m_process.reset();
}

bool SimulatorProcess::endsWhenInputCloses(int timeoutMs)
{
    if (!m_process)
        return false;
    m_process->closeWriteChannel();
    const bool ended = m_process->waitForFinished(timeoutMs);
    stop();
    return ended;
}

QJsonObject SimulatorProcess::send(int unit, const QString &command, int *status, QByteArray *body,
                                   int timeoutMs)
{
    if (!m_network) {
        m_network = std::make_unique<QNetworkAccessManager>();
        // Loopback only: a proxy from the environment must never see these requests.
        m_network->setProxy(QNetworkProxy::NoProxy);
    }
    const QUrl url(QStringLiteral("http://") + address(unit) + QStringLiteral("/?") + command,
                   QUrl::TolerantMode);
    QNetworkReply *reply = m_network->get(QNetworkRequest(url));
    QEventLoop loop;
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
    loop.exec();
    if (!reply->isFinished())
        reply->abort();

    const bool answered = isAnswer(reply->error());
    const QByteArray bytes = answered ? reply->readAll() : QByteArray();
    if (status)
        *status = answered ? reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt() : 0;
    if (body)
        *body = bytes;
    delete reply;
    return QJsonDocument::fromJson(bytes).object();
}
