#include "support/LogCapture.h"

namespace {
LogCapture *current = nullptr;
}

LogCapture::LogCapture() : m_previous(qInstallMessageHandler(&LogCapture::handle))
{
    current = this;
}

LogCapture::~LogCapture()
{
    qInstallMessageHandler(m_previous);
    current = nullptr;
}

bool LogCapture::contains(const QString &text) const
{
    return count(text) > 0;
}

int LogCapture::count(const QString &text) const
{
    int n = 0;
    for (const QString &line : m_lines)
        n += line == text ? 1 : 0;
    return n;
}

void LogCapture::handle(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (!current)
        return;
    current->m_lines.append(message);
    if (current->m_previous && type != QtDebugMsg)
        current->m_previous(type, context, message);
}
