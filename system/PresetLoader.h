#pragma once

#include <QJsonObject>
#include <QObject>
#include <QString>
#include <QUrl>

class PreampModel;
class SystemManager;

// Writes the setup of the units in use to a preset file and reads one back.
//
// A preset is one compact JSON object with sorted keys: "activePreamps", "groups", "preamps"
// (one object per active slot with "adc", "channels", "ipAddr" and an empty "sys") and
// "presetName". Reading is lenient: missing or mistyped values read as 0, false or empty text
// (PresetFile, which the recall preview reads with too).
//
// The load type says what a recall restores: its bits are the unit addresses (1) and the unit
// settings (2, which are then pushed to the units); 3 restores both. The active count, the group
// names and the preset name are taken from the file whatever the type.
//
// Ownership: created and owned by the SystemManager, which it reaches through a plain pointer.
class PresetLoader : public QObject
{
    Q_OBJECT

public:
    // The text the window asks to store under when it closes; it is kept as last.cvp in the
    // application-data folder, beside the saved state.
    static inline const QString closingPresetText = QStringLiteral("/last.cvp");
    static inline const QString closingPresetFile = QStringLiteral("last.cvp");

    explicit PresetLoader(SystemManager *manager, QObject *parent = nullptr);

    // The file a preset URL names: a local file URL's path, or the close-time preset's place.
    // Empty for anything else, which then cannot be opened.
    static QString localPath(const QUrl &filename);
    // The load type's bits, which the recall dialog adds up.
    static constexpr int addressesBit = 1;
    static constexpr int settingsBit = 2;
    // Only 1, 2 and 3 restore anything.
    static bool restoresAddresses(int loadType)
    {
        return loadType == addressesBit || loadType == (addressesBit | settingsBit);
    }
    static bool restoresSettings(int loadType)
    {
        return loadType == settingsBit || loadType == (addressesBit | settingsBit);
    }

    // The current setup of the units in use as a preset file's bytes, exactly as savePreset
    // writes them under a file of that name.
    QByteArray presetBytes(const QString &presetName) const;

signals:
    void presetLoaded();
    void presetSaved();
    // A recall of a readable preset is about to change the setup: nothing is changed or sent
    // yet. Emitted directly, so whatever is connected (the snapshot for undoing the recall)
    // has seen the setup as it was when the emit returns.
    void aboutToRecall(int loadType);

public slots:
    void savePreset(const QUrl &filename);
    void loadPreset(const QUrl &filename, int loadType);

private:
    QJsonObject presetDocument(const QString &presetName) const;
    static QJsonObject unitObject(const PreampModel *model);
    static void restoreSettings(PreampModel *model, const QJsonObject &unit);

    SystemManager *m_manager = nullptr;
};
