#pragma once

#include <QList>
#include <QObject>
#include <QString>
#include <QUrl>
#include <QVariant>

#include "system/RecallPreview.h"
#include "system/RecallUndo.h"

class NetworkCom;
class PreampModel;
class PresetLoader;
class QQmlApplicationEngine;
class QQmlContext;

// The one system-level object: the twelve unit slots, tied to the shared transport and to each
// other and published to the interface as "preampModel1" ... "preampModel12" and
// "systemManager"; the number of units in use (always slots 0 to activePreamps - 1), the gain
// group names, the preset folder, and the saved state lastState.conf.
//
// Beside the loader it keeps what makes a recall safe to use on stage: the recall preview, fed
// with the units' status reports so it can say how old its old values are, and the undo of the
// last recall, which the loader tells before and after each recall.
//
// Ownership: the twelve models are created without a parent and live until the process ends,
// like the manager itself; the manager never deletes them. It owns the preset loader, and the
// recall preview and undo as its children. The engine and the transport belong to the caller.
class SystemManager : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QList<QString> groups READ groups WRITE setGroups NOTIFY groupsChanged)
    Q_PROPERTY(int activePreamps READ activePreamps WRITE setActivePreamps NOTIFY activesChanged)
    Q_PROPERTY(QUrl presetDir READ presetDir WRITE setPresetDir NOTIFY presetDirChanged)
    Q_PROPERTY(RecallPreview *recallPreview READ recallPreview CONSTANT)
    Q_PROPERTY(RecallUndo *recallUndo READ recallUndo CONSTANT)
    // The twelve models in slot order, for the window, which takes them from here rather than
    // naming the twelve context properties itself; empty in the registration-only manager.
    Q_PROPERTY(QVariantList units READ unitList CONSTANT)

public:
    static constexpr int slotCount = 12;
    static inline const QString stateFileName = QStringLiteral("lastState.conf");
    // The saved state's lines hold a count, an address or a folder URL; no real one comes near
    // this many characters.
    static constexpr int longestStateLine = 4096;

    // Needed by the QML type registration only: no slots, no loader, no transport.
    explicit SystemManager(QObject *parent = nullptr);
    // The constructor start-up uses: creates and wires the twelve models and publishes them.
    SystemManager(NetworkCom *transport, QQmlApplicationEngine *engine, QObject *parent = nullptr);
    ~SystemManager() override;

    // The per-user application-data folder that holds the saved state (and the close-time
    // preset); not created here.
    static QString dataDirectory();
    // Counts from files are kept inside the twelve slots.
    static int clampedCount(int count);

    QList<PreampModel *> preamps() const { return m_preamps; }
    QVariantList unitList() const;
    int activePreamps() const { return m_activePreamps; }
    // Always emits activesChanged, also when the count is unchanged.
    void setActivePreamps(int count);
    QList<QString> groups() const { return m_groups; }
    QString currentPreset() const { return m_currentPreset; }
    // Also shows the name in the window's preset bar.
    void setCurrentPreset(const QString &name);
    PresetLoader *presetLoader() const { return m_presetLoader; }
    // Null in the manager made for the QML type registration.
    RecallPreview *recallPreview() const { return m_recallPreview; }
    RecallUndo *recallUndo() const { return m_recallUndo; }
    NetworkCom *transport() const { return m_transport; }

    // Falls back to the home folder (with a warning) when the folder is empty or invalid.
    QUrl presetDir();
    void setPresetDir(const QUrl &folder);

    Q_INVOKABLE void setGroups(const QList<QString> &names);
    Q_INVOKABLE void enableGroup(int group, bool enable);
    Q_INVOKABLE void toDefaults();

signals:
    void groupsChanged();
    void save(const QUrl &filename);
    void load(const QUrl &filename, int loadType);
    void presetLoaded();
    void activesChanged(const QVariant &actives);
    void restored();
    void presetDirChanged();

public slots:
    void savePreset(const QVariant &filename);
    void loadPreset(const QVariant &filename, const QVariant &loadType);
    // The window's own count changed. Emits nothing: the window's handler of activesChanged
    // would otherwise start a loop.
    void activePreampsChanged(const QVariant &num);
    void groupModelChanged(const QVariant &groups);
    void syncPreamps();
    void loaded();
    void saveState(const QVariant &folder);
    void restoreState();

private:
    void createModels();
    void connectRecallSafety();
    void connectModel(PreampModel *model);
    void connectGroupMoves(PreampModel *source);
    void publishContextProperties();
    void publishPresetFolder();
    QUrl homeFolder() const;
    QStringList addressesToSave() const;

    QList<PreampModel *> m_preamps;
    QQmlContext *m_rootContext = nullptr;
    QQmlApplicationEngine *m_engine = nullptr;
    QList<QString> m_groups;
    int m_activePreamps = 0;
    QString m_currentPreset;
    PresetLoader *m_presetLoader = nullptr;
    RecallPreview *m_recallPreview = nullptr;
    RecallUndo *m_recallUndo = nullptr;
    NetworkCom *m_transport = nullptr;
    QUrl m_presetDir;
};
