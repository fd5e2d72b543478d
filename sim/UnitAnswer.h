#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QString>

// What a simulated unit's HTTP side does with one request: the answer, and the few instructions
// that a fault gives the server (hold, delay, lose or trickle the answer, refuse connections).
struct UnitAnswer
{
    int status = 200;
    QByteArray contentType;
    QByteArray body;
    // The unit is silent: keep the request open and hand the same command in again later.
    bool hold = false;
    // Wait this long before answering.
    int delayMs = 0;
    // After answering, refuse connections this long (the listener closes).
    int refuseMs = 0;
    // The answer is lost: the command has been carried out, but nothing goes back and the
    // connection stays silent until the client gives up.
    bool drop = false;
    // Send the body one byte every trickleMs, after a head announcing its whole length.
    int trickleMs = 0;

    // A compact JSON document, as a unit answers a command.
    static UnitAnswer json(const QJsonObject &document);
    // A line of plain text with the status.
    static UnitAnswer text(int status, const QString &line);
    // The refusal of a command the unit cannot read or carry out: 400 with the reason.
    static UnitAnswer badRequest(const QString &reason) { return text(400, reason); }
};
