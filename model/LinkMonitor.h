#pragma once

#include <QObject>

class QTimer;

// The link state machine of one unit model (PreampModel): the link state and the three
// repeating timers that drive it, the status poll, the meter poll and the watchdog. The states
// and intervals are the model's published values (PreampModel::LinkState and its constants).
//
// Any accepted report brings the unit online; three watchdog expiries in a row declare it
// offline, and nothing else does. A failed request only pauses the meter polls until the next
// good report: one lost answer says little about a unit, and the status poll, which goes on at
// its interval, finds out whether it still answers. Once declared offline, a unit that is still
// being communicated with keeps being asked for its status every 5 s, even when those requests
// fail, so it comes back by itself as soon as it answers again.
//
// The monitor knows neither the unit's address nor its commands: it asks its model to poll
// through statusDue and metersDue and reports its transitions through cameOnline, statusOverdue
// and wentOffline, which the model turns into commands and its own signals. All of them are
// emitted synchronously, so a transition's lines and signals keep their order.
//
// Ownership: the monitor is a child of its model, the three timers are children of the monitor.
class LinkMonitor : public QObject
{
    Q_OBJECT

public:
    explicit LinkMonitor(QObject *parent = nullptr);

    // Lifecycle, as the window shows and hides the unit's page.
    void start();
    void sleep();
    void stop();
    // Asks once for the status to learn the unit's identity; the answer is not a poll.
    void ping();
    void pingAnswered() { m_pinged = false; }

    // The link state. setState writes it without a transition and without a signal, as the
    // model's setData and its role writes do.
    int state() const { return m_state; }
    void setState(int state) { m_state = state; }
    bool isOnline() const;

    // What the reports do to the link.
    void restartWatchdog();
    // An accepted report: brings the unit online, or resumes the meter polls a failed request
    // paused.
    void reportAccepted();
    // A failed request pauses the meter polls that run, until the next accepted report.
    void pauseMeters();

    // The timers' ticks, also called directly by the model's slots of the same meaning.
    void meterTick();
    void watchdogExpired();

    QTimer *statusTimer() const { return m_statusTimer; }
    QTimer *meterTimer() const { return m_meterTimer; }
    QTimer *netTimer() const { return m_netTimer; }
    bool isPinged() const { return m_pinged; }
    bool isMeterEnabled() const { return m_meterEnabled; }
    bool isCommunicating() const { return m_communicating; }
    bool areMetersPaused() const { return m_metersPaused; }
    int timeoutCount() const { return m_timeoutCount; }

signals:
    void statusDue();
    void metersDue();
    void cameOnline();
    // The first expiries: the unit is overdue but not yet offline.
    void statusOverdue();
    void wentOffline();

private:
    QTimer *m_statusTimer;
    QTimer *m_meterTimer;
    QTimer *m_netTimer;
    int m_state;
    bool m_pinged = false;
    bool m_meterEnabled = false;
    bool m_communicating = false;
    bool m_metersPaused = false;
    int m_timeoutCount = 0;
};
