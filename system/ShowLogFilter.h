#pragma once

#include <QSortFilterProxyModel>
#include <QString>

class ShowLogModel;

// The log view's choice of entries: one unit (by ShowLogEntry::unitKey, empty for all) and the
// kinds shown (a bit per ShowLogEntry::Kind). The toolkit's proxy follows the rows the log adds
// one at a time; only a change of the filter looks at every row again.
class ShowLogFilter : public QSortFilterProxyModel
{
    Q_OBJECT
    Q_PROPERTY(QString unitKey READ unitKey WRITE setUnitKey NOTIFY filterChanged)
    Q_PROPERTY(int kinds READ kinds WRITE setKinds NOTIFY filterChanged)

public:
    static constexpr int allKinds = (1 << 6) - 1;

    explicit ShowLogFilter(ShowLogModel *source, QObject *parent = nullptr);

    QString unitKey() const { return m_unitKey; }
    void setUnitKey(const QString &key);
    int kinds() const { return m_kinds; }
    void setKinds(int kinds);

signals:
    void filterChanged();

protected:
    bool filterAcceptsRow(int sourceRow, const QModelIndex &sourceParent) const override;

private:
    ShowLogModel *m_source;
    QString m_unitKey;
    int m_kinds = allKinds;
};
