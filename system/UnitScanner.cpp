#include "system/UnitScanner.h"

#include <QDebug>

#include <algorithm>

#include "device/Commands.h"
#include "device/Logging.h"
#include "device/NetworkCom.h"
#include "device/ReplyDocument.h"
#include "system/ScanRange.h"

UnitScanner::UnitScanner(QObject *parent) : QAbstractListModel(parent) {}

int UnitScanner::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : m_units.size();
}

QVariant UnitScanner::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= m_units.size())
        return {};
    const Unit &unit = m_units.at(index.row());
    switch (role) {
    case AddressRole:
        return unit.address;
    case UnitIdRole:
        return unit.id;
    case NameRole:
        return unit.name;
    case ListedRole:
        return unit.listed;
    case TickedRole:
        return unit.ticked;
    default:
        return {};
    }
}

QHash<int, QByteArray> UnitScanner::roleNames() const
{
    return {{AddressRole, "address"},
            {UnitIdRole, "unitId"},
            {NameRole, "name"},
            {ListedRole, "listed"},
            {TickedRole, "ticked"}};
}

QString UnitScanner::localRanges() const
{
    return ScanRange::localNetworks();
}

QString UnitScanner::start(const QString &range, const QStringList &listed)
{
    if (isRunning())
        return QStringLiteral("A search is running: stop it first");
    const ScanRange::Parsed parsed = ScanRange::parse(range);
    if (!parsed.error.isEmpty())
        return parsed.error;

    beginResetModel();
    m_units.clear();
    endResetModel();
    m_listed = listed;
    m_total = parsed.addresses.size();
    m_tried = 0;
    m_waiting.clear();
    m_waiting.append(parsed.addresses);
    m_transport = new NetworkCom(this);
    connect(m_transport, &NetworkCom::statusUpdate, this, &UnitScanner::statusAnswered);
    connect(m_transport, &NetworkCom::requestEnded, this, &UnitScanner::requestEnded);
    qCDebug(lcSystem) << "Searching" << m_total << "addresses for units";
    emit runningChanged();
    askMore();
    emit progressChanged();
    return {};
}

void UnitScanner::stop()
{
    if (!isRunning())
        return;
    qCDebug(lcSystem) << "Search for units stopped after" << m_tried << "of" << m_total;
    end();
}

void UnitScanner::askMore()
{
    while (m_outstanding.size() < maxOutstanding && !m_waiting.isEmpty()) {
        const QString address = m_waiting.dequeue();
        m_outstanding.insert(address);
        m_transport->command(address, Commands::statusCode);
    }
}

void UnitScanner::statusAnswered(const QJsonObject &document, const QString &address)
{
    if (!m_outstanding.contains(address))
        return;
    const QJsonObject sys = document.value(ReplyDocument::sysKey).toObject();
    Unit unit;
    unit.id = ReplyDocument::readInt(sys.value(ReplyDocument::unitIdKey));
    if (unit.id <= 0)
        return;
    unit.address = address;
    unit.name = ReplyDocument::readText(sys.value(ReplyDocument::unitNameKey));
    unit.listed = m_listed.contains(address);
    unit.ticked = !unit.listed;
    const auto before = [](const Unit &a, const Unit &b) {
        return a.id != b.id ? a.id < b.id : a.address < b.address;
    };
    const int row =
        int(std::upper_bound(m_units.cbegin(), m_units.cend(), unit, before) - m_units.cbegin());
    beginInsertRows(QModelIndex(), row, row);
    m_units.insert(row, unit);
    endInsertRows();
    emit progressChanged();
}

void UnitScanner::requestEnded(const QString &address)
{
    if (!m_outstanding.remove(address))
        return;
    ++m_tried;
    askMore();
    if (m_outstanding.isEmpty()) {
        qCDebug(lcSystem) << "Search for units done:" << m_units.size() << "found at" << m_total
                          << "addresses";
        end();
    }
    emit progressChanged();
}

void UnitScanner::end()
{
    // Disconnected first: nothing the dropped transport still holds reaches the rows.
    m_transport->disconnect(this);
    m_transport->deleteLater();
    m_transport = nullptr;
    m_waiting.clear();
    m_outstanding.clear();
    emit runningChanged();
}

void UnitScanner::setTicked(int row, bool ticked)
{
    if (row < 0 || row >= m_units.size() || m_units.at(row).ticked == ticked)
        return;
    m_units[row].ticked = ticked;
    changeRow(row);
}

void UnitScanner::markListed(const QStringList &listed)
{
    m_listed = listed;
    for (int row = 0; row < m_units.size(); ++row) {
        Unit &unit = m_units[row];
        const bool isListed = listed.contains(unit.address);
        if (unit.listed == isListed)
            continue;
        unit.listed = isListed;
        if (isListed)
            unit.ticked = false;
        changeRow(row);
    }
}

QStringList UnitScanner::tickedAddresses() const
{
    QStringList addresses;
    for (const Unit &unit : m_units) {
        if (unit.ticked)
            addresses << unit.address;
    }
    return addresses;
}

void UnitScanner::changeRow(int row)
{
    emit dataChanged(index(row), index(row));
}
