#pragma once

#include <QString>

// The address of a slot without a unit, as the controller writes it everywhere it keeps an
// address: the unit models, the saved state, the presets and the setup list. No unit answers
// there, so the transport sends nothing to it and the saved state leaves it out.
namespace UnitAddress {

inline const QString unset = QStringLiteral("0.0.0.0");

// Whether a reply's address names the unit held at this address. The transport names a reply
// by the host of its URL, which writes a host name in lower case; host names match whatever
// their case, as they do on the network.
inline bool sameUnit(const QString &replyAddress, const QString &unitAddress)
{
    return replyAddress.compare(unitAddress, Qt::CaseInsensitive) == 0;
}

} // namespace UnitAddress
