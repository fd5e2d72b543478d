#pragma once

#include <QAbstractListModel>
#include <QJsonObject>
#include <QQueue>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QVector>

class NetworkCom;

// A search for units over a range of addresses, for the setup view's "Find units" panel: each
// address is asked for its status, at most maxOutstanding at a time, and every address whose
// answer is a status document with an ID becomes a row (address, ID, name, "listed", ticked),
// the rows kept in ID order. Addresses that refuse, time out or answer anything else are counted
// as tried. Nothing is asked before start(); stop() ends the search at once and keeps the rows.
//
// The transport: each search has a NetworkCom of its own, made by start() and dropped when the
// search ends. It is the program's transport class, so a search asks exactly as the program does
// (the same request, the 1500 ms transfer timeout, the reply cap and the sorting of documents),
// but it is not the program's instance, for two reasons:
// - The shared instance broadcasts every answer and every error, by address, to the twelve unit
//   models (see SystemManager::connectModel). A searched address that a slot holds (a unit in
//   use, or one typed into the list and not connected, which the panel must show as "listed")
//   would have its model take the search's answer as a sign of life, and the search's timeout or
//   refusal as a failure of the unit: a model that receives an error stops its polls. With an
//   instance of its own no answer and no error of a search reaches any model.
// - The shared instance queues requests per address, at most two on the wire to a unit. A
//   search's one request to the address of a unit in use would wait on, or merge into, that
//   unit's poll lane. On its own instance it travels on a connection of its own, and the units in
//   use are polled exactly as before: their queues, timers and link states never see a search.
// Dropping the instance when the search stops also ends its requests still on the wire, so no
// answer of a stopped search can arrive, not even to a later search of the same addresses.
//
// Ownership: the search's transport is a child of the scanner, deleted (later, as the search may
// end inside one of its signals) when the search ends.
class UnitScanner : public QAbstractListModel
{
    Q_OBJECT
    Q_PROPERTY(bool running READ isRunning NOTIFY runningChanged)
    Q_PROPERTY(int total READ total NOTIFY progressChanged)
    Q_PROPERTY(int tried READ tried NOTIFY progressChanged)
    Q_PROPERTY(int found READ found NOTIFY progressChanged)

public:
    enum Roles
    {
        AddressRole = Qt::UserRole + 1,
        UnitIdRole,
        NameRole,
        ListedRole,
        TickedRole
    };
    Q_ENUM(Roles)

    static constexpr int maxOutstanding = 32;

    explicit UnitScanner(QObject *parent = nullptr);

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    QHash<int, QByteArray> roleNames() const override;

    bool isRunning() const { return m_transport != nullptr; }
    int total() const { return m_total; }
    int tried() const { return m_tried; }
    int found() const { return m_units.size(); }
    // Addresses asked and not answered yet.
    int outstanding() const { return m_outstanding.size(); }

    // The /24 networks of the machine's interfaces (ScanRange::localNetworks), the text the
    // panel's range field starts with. Asks nothing.
    Q_INVOKABLE QString localRanges() const;
    // Starts a search of the range text (ScanRange::parse) and returns "", after dropping the
    // rows of the search before. A bad range, or a search still running, returns the reason and
    // changes nothing. Units found at an address in listed are marked "listed" and not ticked.
    Q_INVOKABLE QString start(const QString &range, const QStringList &listed);
    Q_INVOKABLE void stop();
    Q_INVOKABLE void setTicked(int row, bool ticked);
    // The setup list now holds these addresses: rows at one of them become listed and unticked.
    Q_INVOKABLE void markListed(const QStringList &listed);
    // The ticked rows' addresses, in ID order.
    Q_INVOKABLE QStringList tickedAddresses() const;

signals:
    void runningChanged();
    void progressChanged();

private slots:
    void statusAnswered(const QJsonObject &document, const QString &address);
    void requestEnded(const QString &address);

private:
    struct Unit
    {
        QString address;
        int id = 0;
        QString name;
        bool listed = false;
        bool ticked = false;
    };

    void askMore();
    void end();
    void changeRow(int row);

    NetworkCom *m_transport = nullptr;
    QQueue<QString> m_waiting;
    QSet<QString> m_outstanding;
    QStringList m_listed;
    QVector<Unit> m_units;
    int m_total = 0;
    int m_tried = 0;
};
