// Compiled into every executable that links the test support library, so no suite has to
// remember it. With OCTO_NO_GL_DRIVER set (the sanitized build sets it for the leak-checked
// suites, tests/sanitizers/) a suite fails if a GL driver is mapped into it as its application
// object goes: among the post routines, before the toolkit drops its platform integration and
// with it the driver, whose leftovers the leak check could not name. The GL dispatch libraries
// the toolkit links (libGL, libGLX, libGLdispatch) are always there and are no drivers.

#include <QCoreApplication>
#include <QFile>
#include <QRegularExpression>
#include <QStringList>

namespace {

QStringList mappedGlDrivers()
{
    static const QRegularExpression driver(QStringLiteral(
        "/(\\w+_dri\\.so|libGLX_\\w+\\.so|libEGL_\\w+\\.so|libgallium[-\\w.]*\\.so)"));
    QFile maps(QStringLiteral("/proc/self/maps"));
    if (!maps.open(QIODevice::ReadOnly))
        qFatal("cannot read /proc/self/maps to look for a GL driver: %s",
               qPrintable(maps.errorString()));
    QStringList drivers;
    for (const QByteArray &line : maps.readAll().split('\n')) {
        const QRegularExpressionMatch match = driver.match(QString::fromLocal8Bit(line));
        if (match.hasMatch() && !drivers.contains(match.captured(1)))
            drivers << match.captured(1);
    }
    return drivers;
}

void failOnGlDriver()
{
    const QStringList drivers = mappedGlDrivers();
    if (!drivers.isEmpty())
        qFatal("A GL driver was loaded although this suite must run without one "
               "(OCTO_NO_GL_DRIVER): %s. Give it no display and QT_QPA_OFFSCREEN_NO_GLX=1.",
               qPrintable(drivers.join(QStringLiteral(", "))));
}

void checkAtTheEnd()
{
    if (qEnvironmentVariableIsSet("OCTO_NO_GL_DRIVER"))
        qAddPostRoutine(failOnGlDriver);
}

} // namespace

Q_COREAPP_STARTUP_FUNCTION(checkAtTheEnd)
