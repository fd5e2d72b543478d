#include "system/ScanRange.h"

#include <QHostAddress>
#include <QNetworkInterface>
#include <QRegularExpression>
#include <QSet>

#include "device/UnitAddress.h"

namespace {

// The addresses of one part, both ends included, and the port they are asked on.
struct Block
{
    quint32 first = 0;
    quint32 last = 0;
    int port = ScanRange::unitPort;
};

QString quoted(const QString &part)
{
    return QLatin1Char('"') + part + QLatin1Char('"');
}

QString dotted(quint32 address)
{
    return QHostAddress(address).toString();
}

QString transportAddress(quint32 address, int port)
{
    return port == ScanRange::unitPort ? dotted(address)
                                       : dotted(address) + QLatin1Char(':') + QString::number(port);
}

// One part, or the reason it is refused in *error.
Block readPart(const QString &part, QString *error)
{
    static const QRegularExpression pattern(
        QStringLiteral(R"(^(\d{1,3})\.(\d{1,3})\.(\d{1,3})\.(\d{1,3}))"
                       R"((?:/(\d{1,2})|-(\d{1,3}))?(?::(\d{1,5}))?$)"));
    const QRegularExpressionMatch match = pattern.match(part);
    bool valid = match.hasMatch();
    quint32 address = 0;
    for (int k = 1; valid && k <= 4; ++k) {
        const uint octet = match.captured(k).toUInt();
        valid = octet <= 255;
        address = (address << 8) | octet;
    }
    if (!valid) {
        *error = QStringLiteral("%1 is not a range: use a.b.c.d/nn, a.b.c.d-e or a.b.c.d")
                     .arg(quoted(part));
        return {};
    }
    // Network 0 and the multicast and reserved blocks hold no unit.
    const quint32 firstOctet = address >> 24;
    if (firstOctet == 0 || firstOctet > 223) {
        *error = QStringLiteral("%1: not a unit address").arg(quoted(part));
        return {};
    }
    Block block{address, address, ScanRange::unitPort};
    if (!match.captured(7).isEmpty()) {
        block.port = match.captured(7).toInt();
        if (block.port < 1 || block.port > UnitAddress::highestPort) {
            *error = QStringLiteral("%1: the port must be 1 to %2")
                         .arg(quoted(part))
                         .arg(UnitAddress::highestPort);
            return {};
        }
    }
    if (!match.captured(5).isEmpty()) {
        const int prefix = match.captured(5).toInt();
        if (prefix < ScanRange::shortestPrefix || prefix > 32) {
            *error = QStringLiteral("%1: the prefix must be /%2 to /32")
                         .arg(quoted(part))
                         .arg(ScanRange::shortestPrefix);
            return {};
        }
        const quint32 size = quint32(1) << (32 - prefix);
        const quint32 network = address & ~(size - 1);
        // Up to /30 the network's first and last addresses are no hosts'.
        const quint32 spare = size > 2 ? 1 : 0;
        block.first = network + spare;
        block.last = network + size - 1 - spare;
    } else if (!match.captured(6).isEmpty()) {
        const quint32 end = match.captured(6).toUInt();
        if (end > 255 || end < (address & 0xff)) {
            *error = QStringLiteral("%1: the range must end at or after its start, at 255 at most")
                         .arg(quoted(part));
            return {};
        }
        block.last = (address & ~quint32(0xff)) | end;
    }
    return block;
}

} // namespace

namespace ScanRange {

Parsed parse(const QString &text)
{
    Parsed result;
    QSet<QString> seen;
    for (const QString &rawPart : text.split(QLatin1Char(','))) {
        const QString part = rawPart.trimmed();
        if (part.isEmpty())
            continue;
        const Block block = readPart(part, &result.error);
        if (!result.error.isEmpty())
            return {{}, result.error};
        // The last address of a block is below 224.0.0.0, so the count cannot wrap.
        for (quint32 address = block.first; address <= block.last; ++address) {
            const QString entry = transportAddress(address, block.port);
            if (seen.contains(entry))
                continue;
            if (result.addresses.size() == maxAddresses)
                return {{},
                        QStringLiteral("More than %1 addresses: a search asks at most %1 at once")
                            .arg(maxAddresses)};
            seen.insert(entry);
            result.addresses << entry;
        }
    }
    if (result.addresses.isEmpty())
        result.error = QStringLiteral(
            "Enter a range: a.b.c.d/nn, a.b.c.d-e or a.b.c.d, several separated by commas");
    return result;
}

QString networksOf(const QList<QHostAddress> &addresses)
{
    QStringList networks;
    for (const QHostAddress &address : addresses) {
        if (address.protocol() != QAbstractSocket::IPv4Protocol || address.isLoopback() ||
            address.isLinkLocal())
            continue;
        const QString network =
            dotted(address.toIPv4Address() & ~quint32(0xff)) + QStringLiteral("/24");
        if (!networks.contains(network))
            networks << network;
    }
    return networks.join(QStringLiteral(", "));
}

QString localNetworks()
{
    QList<QHostAddress> addresses;
    const auto interfaces = QNetworkInterface::allInterfaces();
    for (const QNetworkInterface &interface : interfaces) {
        const QNetworkInterface::InterfaceFlags flags = interface.flags();
        if (!flags.testFlag(QNetworkInterface::IsUp) ||
            flags.testFlag(QNetworkInterface::IsLoopBack))
            continue;
        const auto entries = interface.addressEntries();
        for (const QNetworkAddressEntry &entry : entries)
            addresses << entry.ip();
    }
    return networksOf(addresses);
}

} // namespace ScanRange
