#pragma once

#include <QObject>
#include <QString>

class PreampModel;

// The unit-level values of one unit model as the interface binds to them: ID, name, address,
// link state, clock lock and the four converter settings, each with a change signal that fires
// on every real change, whoever made it.
//
// The model's own properties keep their contract: its code writes the fields directly and emits
// none of their change signals but onlineChanged(2) when the unit comes online, so the views
// that re-read them on dataChanged and the other classes see what they always saw. A view that
// binds instead of copying binds to this object (the model's "live" property), which the model
// brings up to date once a write is through, just before the dataChanged that goes with it.
//
// Ownership: a child of its model, created with it.
class UnitState : public QObject
{
    Q_OBJECT
    Q_PROPERTY(int preampID READ preampID NOTIFY idChanged)
    Q_PROPERTY(QString preampName READ preampName NOTIFY preampNameChanged)
    Q_PROPERTY(QString ipAddr READ ipAddr NOTIFY ipAddrChanged)
    Q_PROPERTY(int online READ online NOTIFY onlineChanged)
    Q_PROPERTY(bool clkStatus READ clkStatus NOTIFY clkStatusChanged)
    Q_PROPERTY(int sampleRate READ sampleRate NOTIFY sampleRateChanged)
    Q_PROPERTY(int clkSource READ clkSource NOTIFY clkSourceChanged)
    Q_PROPERTY(int outFormat READ outFormat NOTIFY outFormatChanged)
    Q_PROPERTY(int clkOutSource READ clkOutSource NOTIFY clkOutSourceChanged)

public:
    explicit UnitState(PreampModel *model);

    int preampID() const { return m_preampID; }
    QString preampName() const { return m_preampName; }
    QString ipAddr() const { return m_ipAddr; }
    int online() const { return m_online; }
    bool clkStatus() const { return m_clkStatus; }
    int sampleRate() const { return m_sampleRate; }
    int clkSource() const { return m_clkSource; }
    int outFormat() const { return m_outFormat; }
    int clkOutSource() const { return m_clkOutSource; }

    // Takes the model's values over and signals each one that changed.
    void follow(const PreampModel &model);

signals:
    void idChanged();
    void preampNameChanged();
    void ipAddrChanged();
    void onlineChanged();
    void clkStatusChanged();
    void sampleRateChanged();
    void clkSourceChanged();
    void outFormatChanged();
    void clkOutSourceChanged();

private:
    int m_preampID = 0;
    QString m_preampName;
    QString m_ipAddr;
    int m_online = 0;
    bool m_clkStatus = false;
    int m_sampleRate = 0;
    int m_clkSource = 0;
    int m_outFormat = 0;
    int m_clkOutSource = 0;
};
