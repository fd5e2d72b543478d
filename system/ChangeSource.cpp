#include "system/ChangeSource.h"

#include <QDebug>

#include "device/Logging.h"

namespace {

ChangeSource::Kind currentKind = ChangeSource::Operator;
bool scopeOpen = false;

} // namespace

ChangeSource::Scope::Scope(Kind kind) : m_outermost(!scopeOpen)
{
    if (!m_outermost)
        return;
    scopeOpen = true;
    currentKind = kind;
}

ChangeSource::Scope::~Scope()
{
    if (!m_outermost)
        return;
    scopeOpen = false;
    currentKind = Operator;
}

ChangeSource::ChangeSource(QObject *parent) : QObject(parent) {}

ChangeSource::Kind ChangeSource::current()
{
    return currentKind;
}

QString ChangeSource::name(Kind kind)
{
    switch (kind) {
    case Operator:
        return QStringLiteral("operator");
    case GroupMove:
        return QStringLiteral("group move");
    case PresetRecall:
        return QStringLiteral("preset recall");
    case FullSync:
        return QStringLiteral("full sync");
    case ResetToDefaults:
        return QStringLiteral("reset to defaults");
    }
    return QString();
}

void ChangeSource::run(int kind, QJSValue action)
{
    if (kind < Operator || kind > ResetToDefaults || !action.isCallable()) {
        qCWarning(lcSystem) << "ChangeSource.run: needs a source and a function";
        return;
    }
    const Scope scope(static_cast<Kind>(kind));
    const QJSValue result = action.call();
    if (result.isError())
        qCWarning(lcSystem).noquote() << "ChangeSource.run:" << result.toString();
}
