#include "device/Logging.h"

#include <cstring>

Q_LOGGING_CATEGORY(lcTransport, "octo.transport")
Q_LOGGING_CATEGORY(lcUnit, "octo.unit")
Q_LOGGING_CATEGORY(lcSystem, "octo.system")
Q_LOGGING_CATEGORY(lcWindow, "octo.window")

namespace Logging {
namespace {

QtMessageHandler previousHandler = nullptr;

bool isOwnCategory(const char *category)
{
    return category && std::strncmp(category, "octo.", 5) == 0;
}

void writeLine(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (!isOwnCategory(context.category)) {
        previousHandler(type, context, message);
        return;
    }
    // Handed on under the default category, which no output format prefixes; file, line and
    // function stay, for a message pattern that shows them.
    const QMessageLogContext plain(context.file, context.line, context.function, "default");
    previousHandler(type, plain, message);
}

} // namespace

void writeOwnLinesPlain()
{
    // Returns the toolkit's own handler when none was installed before.
    previousHandler = qInstallMessageHandler(&writeLine);
}

} // namespace Logging
