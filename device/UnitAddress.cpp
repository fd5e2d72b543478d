#include "device/UnitAddress.h"

#include <QRegularExpression>

namespace {

constexpr int longestHostName = 253;

bool isDottedQuad(const QString &host)
{
    static const QRegularExpression quad(QRegularExpression::anchoredPattern(
        QStringLiteral(R"((?:(?:25[0-5]|2[0-4][0-9]|1[0-9][0-9]|[1-9]?[0-9])\.){3})"
                       R"((?:25[0-5]|2[0-4][0-9]|1[0-9][0-9]|[1-9]?[0-9]))")));
    return quad.match(host).hasMatch();
}

bool isHostName(const QString &host)
{
    static const QRegularExpression name(QRegularExpression::anchoredPattern(
        QStringLiteral(R"((?:[A-Za-z0-9](?:[A-Za-z0-9-]{0,61}[A-Za-z0-9])?\.)*)"
                       R"([A-Za-z](?:[A-Za-z0-9-]{0,61}[A-Za-z0-9])?)")));
    return host.size() <= longestHostName && name.match(host).hasMatch();
}

} // namespace

namespace UnitAddress {

bool isValid(const QString &address)
{
    static const QRegularExpression form(
        QRegularExpression::anchoredPattern(QStringLiteral(R"(([^:]+)(?::([1-9][0-9]{0,4}))?)")));
    const QRegularExpressionMatch match = form.match(address);
    if (!match.hasMatch())
        return false;
    if (!match.captured(2).isEmpty() && match.captured(2).toInt() > highestPort)
        return false;
    const QString host = match.captured(1);
    return isDottedQuad(host) || isHostName(host);
}

} // namespace UnitAddress
