#pragma once

#include <QList>
#include <QString>
#include <QStringList>

class QHostAddress;

// The addresses a search for units asks, from the text the operator types into the "Find units"
// panel, and the text the panel starts with.
//
// The text is one or more parts separated by commas, each one of:
//   a.b.c.d/nn   the network of a.b.c.d with prefix nn (22 to 32): its host addresses, that is
//                without the network and broadcast addresses up to /30, both of a /31, the one
//                of a /32
//   a.b.c.d-e    a.b.c.d to a.b.c.e (e not below d)
//   a.b.c.d      that address alone
// Each may end in ":port" for units that do not listen on port 80: simulated units run by a user
// without root, for one. An address is written as the transport takes it, "a.b.c.d" or
// "a.b.c.d:port".
namespace ScanRange {

// At most this many addresses in all: four /24 networks.
constexpr int maxAddresses = 1024;
constexpr int shortestPrefix = 22;
constexpr int unitPort = 80;

struct Parsed
{
    QStringList addresses; // in the order the text names them, each once
    QString error;         // empty when the text is good; then addresses is not empty
};

Parsed parse(const QString &text);

// The /24 networks of these addresses as a range text ("192.168.1.0/24, 10.0.0.0/24"): IPv4
// addresses only, without loopback and link-local ones, each network once, in the order given.
QString networksOf(const QList<QHostAddress> &addresses);

// networksOf() over the addresses of the machine's interfaces that are up and not loopback.
QString localNetworks();

} // namespace ScanRange
