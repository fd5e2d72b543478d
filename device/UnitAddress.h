#pragma once

#include <QString>

// The address of a slot without a unit, as the controller writes it everywhere it keeps an
// address: the unit models, the saved state, the presets and the setup list. No unit answers
// there, so the transport sends nothing to it and the saved state leaves it out.
namespace UnitAddress {

inline const QString unset = QStringLiteral("0.0.0.0");

// An address nothing is sent to: the unset one, or none at all.
inline bool isUnset(const QString &address)
{
    return address == unset || address.trimmed().isEmpty();
}

} // namespace UnitAddress
