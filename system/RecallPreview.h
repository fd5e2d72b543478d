#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVariantList>
#include <QVector>

#include "system/ReportAges.h"

class SystemManager;

// What a preset recall would change, worked out before the operator lets it happen: for every
// unit slot the recall touches, the unit that would receive the settings and every setting that
// would change on it, old -> new. Building a preview reads the file and the controller's copies
// of the units; it sends nothing and changes nothing.
//
// "Old" is the controller's copy of a unit as the unit last reported it (ReportAges says how
// long ago). A unit is looked up by the address the recall sends to, so when a recall with
// addresses moves a slot to another unit, the old values are that unit's; a unit the controller
// has not heard from since it started has no old values, and all its settings count as changes.
// The recall is followed slot by slot as the loader runs it, so a unit that a preset names
// twice is compared the second time with what the first would have sent it.
//
// The file is read exactly as the loader reads it (PresetFile): what the loader refuses, the
// preview refuses in words. Beyond that the preview holds back a file the loader would still
// take, as the loader would take it only in part: JSON without a unit count or unit list, and
// converter codes outside the units' tables, which the loader leaves out.
//
// A channel whose phantom power would go from off (or not known) to on while its ribbon flag is
// on, in the preset or on the unit now, is marked: phantom power can damage a ribbon
// microphone, and the flag on the unit now says what is plugged in now, whatever an older
// preset says.
//
// What the recall would do is worked out in RecallPreview.cpp; how the window words it (the
// summary, the notes, the rows, each setting's label and values) in RecallPreviewText.cpp.
//
// Ownership: created and owned by the SystemManager.
class RecallPreview : public QObject
{
    Q_OBJECT
    Q_PROPERTY(bool refused READ refused NOTIFY changed)
    Q_PROPERTY(bool canApply READ canApply NOTIFY changed)
    Q_PROPERTY(QStringList problems READ problems NOTIFY changed)
    Q_PROPERTY(QString summary READ summary NOTIFY changed)
    Q_PROPERTY(QStringList notes READ notes NOTIFY changed)
    Q_PROPERTY(QVariantList rows READ rows NOTIFY changed)
    Q_PROPERTY(int ribbonWarnings READ ribbonWarnings NOTIFY changed)

public:
    // In the order a unit's changes are listed: the unit-wide settings, then each channel's in
    // the order of the full sync.
    enum class Setting
    {
        Address,
        UnitName,
        SampleRate,
        ClockSource,
        OutputFormat,
        ClockOutSource,
        ChannelName,
        Ribbon,
        Phase,
        Phantom,
        Gain
    };
    Q_ENUM(Setting)

    // What the controller knows of the unit at the address a slot recalls to.
    enum class Copy
    {
        Reported,    // its last report
        NotReported, // nothing since the program started: no old values
        NoUnit       // no address: nothing is sent
    };
    Q_ENUM(Copy)

    struct Change
    {
        Setting setting;
        int channel = 0; // 1 to 8; 0 for the unit-wide settings
        QVariant before; // invalid when not known
        QVariant after;
        bool ribbonPhantom = false;
    };

    struct Unit
    {
        int slot = 0;          // 0-based
        bool slotInUse = true; // false for a slot beyond the units in use now
        QString address;
        QString name;
        Copy copy = Copy::Reported;
        bool unitInUse = true; // some slot in use holds the address
        int linkState = 0;     // PreampModel::LinkState of that slot
        qint64 ageMs = -1;     // since the last report, or ReportAges::never
        QVector<Change> changes;
    };

    struct Result
    {
        bool refused = false;
        QStringList problems; // in words; any problem holds the recall back
        int unitsBefore = 0;
        int unitsAfter = 0;
        QVector<Unit> units;
        QVector<Unit> leaving; // units in use that the recall takes out of use
        QList<QString> groupsBefore;
        QList<QString> groupsAfter;
        int changeCount = 0;
        int offlineCount = 0;
        int ribbonWarnings = 0;
        QByteArray content;
    };

    explicit RecallPreview(SystemManager *manager, QObject *parent = nullptr);

    ReportAges &reportAges() { return m_ages; }

    // What a recall of the file with the load type would do to the setup as it is now.
    Result compute(const QString &path, int loadType) const;
    const Result &result() const { return m_result; }

    // Builds the preview the window shows, from a preset URL as the recall dialog holds it.
    Q_INVOKABLE void build(const QVariant &filename, int loadType);
    // Whether the file still holds what the preview was built from.
    Q_INVOKABLE bool fileUnchanged() const;

    bool refused() const { return m_result.refused; }
    bool canApply() const { return !m_result.refused && m_result.problems.isEmpty(); }
    QStringList problems() const { return m_result.problems; }
    QString summary() const;
    QStringList notes() const;
    // One map per line of the list: a unit ("kind" "unit": "title", "state", "stateKind",
    // "age"), a change ("change": "where", "setting", "before", "after", "warning") or a note
    // ("note": "text").
    QVariantList rows() const;
    int ribbonWarnings() const { return m_result.ribbonWarnings; }

    static QString settingLabel(Setting setting);
    static QString valueText(Setting setting, const QVariant &value);

signals:
    void changed();

public slots:
    // Every status report the transport delivers. It must be connected before the unit models
    // are: the answer to a ping carries a whole status, but the model that asked takes only the
    // unit's ID and name from it, and only before it has taken it can the answer be told apart.
    void statusUpdated(const QJsonObject &document, const QString &address);

private:
    SystemManager *m_manager;
    ReportAges m_ages;
    QString m_path;
    Result m_result;
};
