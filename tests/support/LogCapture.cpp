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

void LogCapture::handle(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (!current)
        return;
    current->m_lines.append(message);
    if (current->m_previous && type != QtDebugMsg)
        current->m_previous(type, context, message);
}
