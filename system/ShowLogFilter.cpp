#include "system/ShowLogFilter.h"

#include "system/ShowLogModel.h"

static_assert(ShowLogFilter::allKinds == (1 << ShowLogEntry::kindCount) - 1,
              "one filter bit per kind");

ShowLogFilter::ShowLogFilter(ShowLogModel *source, QObject *parent)
    : QSortFilterProxyModel(parent), m_source(source)
{
    setSourceModel(source);
}

void ShowLogFilter::setUnitKey(const QString &key)
{
    if (key == m_unitKey)
        return;
    m_unitKey = key;
    invalidateFilter();
    emit filterChanged();
}

void ShowLogFilter::setKinds(int kinds)
{
    kinds &= allKinds;
    if (kinds == m_kinds)
        return;
    m_kinds = kinds;
    invalidateFilter();
    emit filterChanged();
}

bool ShowLogFilter::filterAcceptsRow(int sourceRow, const QModelIndex &) const
{
    const ShowLogEntry &entry = m_source->at(sourceRow);
    return (m_kinds & (1 << int(entry.kind()))) != 0 &&
           (m_unitKey.isEmpty() || entry.unitKey() == m_unitKey);
}
