#pragma once

#include <QObject>
#include <QString>
#include <QUrl>

class SystemManager;

// Undoing the last preset recall. Just before a recall changes anything (PresetLoader's
// aboutToRecall) the setup it is about to replace is written to a preset file in the
// application-data folder: the units in use, their addresses, their settings as last reported,
// the group names and, as the preset's name, the name the preset bar showed. It is a preset like
// any other, written exactly as "store" writes one; it can be recalled by hand, also after a
// restart.
//
// Once the recall has ended, undoing it means recalling that file with the same load type,
// through the window's ordinary recall path. That is itself a recall, which first saves the
// setup it replaces: undoing twice brings the undone recall back. An undo stays available until
// the next recall; a refused file changes nothing and leaves it as it was.
//
// What an undo cannot bring back: whatever the controller's copy did not hold when the recall
// began (settings changed on a unit, or by another controller, since its last report), and
// units the recall reached at addresses that were not in use before it.
//
// Ownership: created and owned by the SystemManager.
class RecallUndo : public QObject
{
    Q_OBJECT
    Q_PROPERTY(bool available READ available NOTIFY changed)
    Q_PROPERTY(QString undoes READ undoes NOTIFY changed)
    Q_PROPERTY(int loadType READ loadType NOTIFY changed)
    Q_PROPERTY(QUrl file READ file CONSTANT)
    Q_PROPERTY(QString problem READ problem NOTIFY changed)

public:
    static inline const QString fileName = QStringLiteral("before-last-recall.cvp");

    explicit RecallUndo(SystemManager *manager, QObject *parent = nullptr);

    // The snapshot in the application-data folder.
    static QString path();

    bool available() const { return m_available; }
    // The name the preset bar shows for the recall an undo would undo.
    QString undoes() const { return m_undoes; }
    int loadType() const { return m_loadType; }
    QUrl file() const { return QUrl::fromLocalFile(path()); }
    // Why the last recall cannot be undone, when its snapshot could not be written.
    QString problem() const { return m_problem; }

public slots:
    void saveSnapshot(int loadType);
    void recallEnded();

signals:
    void changed();

private:
    SystemManager *m_manager;
    bool m_recalling = false;
    bool m_written = false;
    int m_recallType = 0;
    bool m_available = false;
    QString m_undoes;
    int m_loadType = 0;
    QString m_problem;
};
