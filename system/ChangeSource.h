#pragma once

#include <QJSValue>
#include <QObject>
#include <QString>

// Where the changes the controller sends to the units come from, for the show log (ShowLog):
// the operator on a page or in the setup view, a move of a gain group, a preset recall, the full
// sync of "Connect" after a recall, a reset to defaults.
//
// Whoever starts a batch of changes opens a Scope around the calls that send them; every command
// the unit models send meanwhile is recorded with that source:
//
//     const ChangeSource::Scope recall(ChangeSource::PresetRecall);
//     emit load(filename, loadType); // the loader pushes the preset's settings
//
// and from QML, where a scope cannot be held, through the singleton of the same name:
//
//     ChangeSource.run(ChangeSource.FullSync, function () { unit.sendAllToPreamp() })
//
// Scopes nest and the outermost wins: the full push a preset recall makes is the recall's. With
// no scope open a change is the operator's. A group move starts inside a unit model, out of
// reach of a scope, so the show log recognises it by itself: a gain set on a grouped channel.
//
// One thread: the current source is plain static state, as everything runs in the event loop.
class ChangeSource : public QObject
{
    Q_OBJECT

public:
    enum Kind
    {
        Operator,
        GroupMove,
        PresetRecall,
        FullSync,
        ResetToDefaults
    };
    Q_ENUM(Kind)

    class Scope
    {
    public:
        explicit Scope(Kind kind);
        ~Scope();
        Scope(const Scope &) = delete;
        Scope &operator=(const Scope &) = delete;

    private:
        bool m_outermost;
    };

    explicit ChangeSource(QObject *parent = nullptr);

    static Kind current();
    // The source's name as the show log writes it ("preset recall").
    static QString name(Kind kind);

    // Calls action (a JavaScript function) inside a scope of this kind.
    Q_INVOKABLE void run(int kind, QJSValue action);
};
