#pragma once

#include <QString>

// The address of a slot without a unit, as the controller writes it everywhere it keeps an
// address: the unit models, the saved state, the presets and the setup list. No unit answers
// there, so the transport sends nothing to it and the saved state leaves it out.
//
// And the one rule for what the operator may enter as a unit's address, which the setup list
// applies (published to QML through the Octo singleton).
namespace UnitAddress {

inline const QString unset = QStringLiteral("0.0.0.0");

constexpr int highestPort = 65535;

// True for "a.b.c.d", a host name, either optionally followed by ":port" (1 to 65535).
//
// A model knows its unit's replies by the address the transport reads back from the request's
// URL, so only addresses that the URL writes back as they were typed are taken (a host name's
// case aside): octets and port without leading zeros, and no host name that the URL would read
// as a number (such as "0x7f" or "127.1"), so a host name's last label starts with a letter.
// Host names are labels of letters, digits and "-", not starting or ending with "-", at most 63
// characters each and 253 in all, separated by single dots. Blanks are not part of an address.
bool isValid(const QString &address);

// An address nothing is sent to: the unset one, or none at all.
inline bool isUnset(const QString &address)
{
    return address == unset || address.trimmed().isEmpty();
}

// Whether a reply's address names the unit held at this address. The transport names a reply
// by the host of its URL, which writes a host name in lower case; host names match whatever
// their case, as they do on the network.
inline bool sameUnit(const QString &replyAddress, const QString &unitAddress)
{
    return replyAddress.compare(unitAddress, Qt::CaseInsensitive) == 0;
}

} // namespace UnitAddress
