#pragma once

#include <QJsonDocument>
#include <QJsonObject>
#include <QObject>
#include <QStringList>
#include <QTimer>

#include <memory>
#include <utility>

#include "device/ReplyDocument.h"
#include "model/PreampModel.h"
#include "sim/SimulatedUnit.h"

// A PreampModel whose commands an in-process simulated unit answers, in place of the HTTP
// transport: the unit's answer comes back to the model as the report the transport would make
// of it, one event later, as a network reply would. So QML tests get real reports without
// sockets.
//
// With holdReplies set, answers wait until release(), so a test can look at the interface
// between an operator action and the unit's answer to it.
class UnitLink : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QObject *model READ model CONSTANT)
    // The unit takes this ID when the first command reaches it.
    Q_PROPERTY(int unitId MEMBER m_unitId)
    Q_PROPERTY(bool holdReplies MEMBER m_hold)
    // Every command the model has sent, oldest first.
    Q_PROPERTY(QStringList commands MEMBER m_commands)

public:
    explicit UnitLink(QObject *parent = nullptr) : QObject(parent)
    {
        m_model.setIP(QStringLiteral("127.0.0.9"));
        connect(&m_model, &PreampModel::sendCommand, this, &UnitLink::commandFromModel);
    }

    QObject *model() { return &m_model; }

    // Sends a command to the unit directly, as a test bench would; the model hears nothing.
    Q_INVOKABLE QJsonObject request(const QString &command)
    {
        if (!m_unit)
            m_unit = std::make_unique<SimulatedUnit>(m_unitId);
        return QJsonDocument::fromJson(m_unit->handle(command).body).object();
    }

    // Delivers the answers held back so far and holds no more.
    Q_INVOKABLE void release()
    {
        m_hold = false;
        for (const auto &[document, address] : std::exchange(m_held, {}))
            deliver(document, address);
    }

private:
    void commandFromModel(const QString &address, const QString &command)
    {
        m_commands.append(command);
        const QJsonObject document = request(command);
        if (m_hold)
            m_held.append({document, address});
        else
            QTimer::singleShot(0, this, [this, document, address] { deliver(document, address); });
    }

    void deliver(const QJsonObject &document, const QString &address)
    {
        using ReplyDocument::Kind;
        const Kind kind = ReplyDocument::classify(document);
        if (kind == Kind::Meter)
            m_model.newMeterData(document, address);
        else if (kind == Kind::Status)
            m_model.statusUpdated(document, address);
        else if (kind == Kind::Converter)
            m_model.adcUpdated(document, address);
        else if (kind == Kind::Channel)
            m_model.channelUpdated(document, address);
    }

    PreampModel m_model;
    std::unique_ptr<SimulatedUnit> m_unit;
    int m_unitId = 1;
    bool m_hold = false;
    QList<std::pair<QJsonObject, QString>> m_held;
    QStringList m_commands;
};
