#pragma once

#include <QJsonObject>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>

#include <memory>

class PreampModel;
class SimulatedUnit;

// Connects one PreampModel to an in-process simulated unit, in place of the HTTP transport:
// every command the model sends is handed to the unit, and the unit's answer comes back to the
// model as the report the transport would make of it, one event later, as a network reply
// would. So QML tests and harnesses get real reports without sockets.
//
// With holdReplies set, answers wait until release(), so a test can look at the interface
// between an operator action and the unit's answer to it.
class UnitLink : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QObject *model READ model WRITE setModel NOTIFY modelChanged)
    Q_PROPERTY(int unitId READ unitId WRITE setUnitId NOTIFY unitIdChanged)
    Q_PROPERTY(bool holdReplies READ holdReplies WRITE setHoldReplies NOTIFY holdRepliesChanged)
    Q_PROPERTY(QStringList commands READ commands NOTIFY commandsChanged)

public:
    explicit UnitLink(QObject *parent = nullptr);
    ~UnitLink() override;

    // Makes the type available to QML as OctoTest 1.0 UnitLink.
    static void registerType();

    QObject *model() const;
    void setModel(QObject *model);
    int unitId() const { return m_unitId; }
    void setUnitId(int id);
    bool holdReplies() const { return m_hold; }
    void setHoldReplies(bool hold);
    // Every command the model has sent, oldest first.
    QStringList commands() const { return m_commands; }

    // Sends a command to the unit directly, as a test bench would; the model hears nothing.
    Q_INVOKABLE QJsonObject request(const QString &command);
    // Delivers the answers held back so far.
    Q_INVOKABLE void release();
    Q_INVOKABLE void clearCommands();

signals:
    void modelChanged();
    void unitIdChanged();
    void holdRepliesChanged();
    void commandsChanged();

private:
    struct Reply
    {
        QJsonObject document;
        QString address;
    };

    void commandFromModel(const QString &address, const QString &command);
    void deliver(const Reply &reply);

    QPointer<PreampModel> m_model;
    QMetaObject::Connection m_connection;
    std::unique_ptr<SimulatedUnit> m_unit;
    int m_unitId = 1;
    bool m_hold = false;
    QList<Reply> m_held;
    QStringList m_commands;
};
