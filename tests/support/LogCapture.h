#pragma once

#include <QString>
#include <QStringList>
#include <QtGlobal>

// Records every debug and warning line written while it exists, so a test can check the log
// texts that carry meaning. Installs a message handler in its constructor and restores the
// previous one in its destructor; lines are still passed on to the previous handler.
class LogCapture
{
public:
    LogCapture();
    ~LogCapture();
    LogCapture(const LogCapture &) = delete;
    LogCapture &operator=(const LogCapture &) = delete;

    QStringList lines() const { return m_lines; }
    bool contains(const QString &line) const { return m_lines.contains(line); }
    int count(const QString &line) const { return int(m_lines.count(line)); }

private:
    static void handle(QtMsgType type, const QMessageLogContext &context, const QString &message);

    QStringList m_lines;
    QtMessageHandler m_previous;
};
