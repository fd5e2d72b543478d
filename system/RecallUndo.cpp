#include "system/RecallUndo.h"

#include <QDebug>
#include <QDir>

#include "device/Logging.h"
#include "system/FileWriter.h"
#include "system/PresetLoader.h"
#include "system/SystemManager.h"

RecallUndo::RecallUndo(SystemManager *manager, QObject *parent)
    : QObject(parent), m_manager(manager)
{}

QString RecallUndo::path()
{
    return QDir(SystemManager::dataDirectory()).filePath(fileName);
}

// The preset's name is the one the preset bar shows now, so recalling the snapshot shows it
// again.
void RecallUndo::saveSnapshot(int loadType)
{
    const QString shown = m_manager->currentPreset();
    const QByteArray bytes = m_manager->presetLoader()->presetBytes(
        shown.isEmpty() ? QString() : shown + QStringLiteral(".cvp"));
    QDir().mkpath(SystemManager::dataDirectory());
    const FileWriter::Result result = FileWriter::replaceContent(path(), bytes);
    m_written = result.outcome == FileWriter::Outcome::Written;
    m_problem = m_written ? QString()
                          : QStringLiteral("The setup before the recall could not be saved: %1")
                                .arg(result.errorString);
    if (!m_written)
        qCWarning(lcSystem) << "Undo Recall: Cannot write file:" << path() << result.errorString;
    m_recalling = true;
    m_recallType = loadType;
    m_available = false;
    emit changed();
}

void RecallUndo::recallEnded()
{
    if (!m_recalling)
        return;
    m_recalling = false;
    m_available = m_written;
    m_undoes = m_manager->currentPreset();
    m_loadType = m_recallType;
    emit changed();
}
