#include "system/ShowLog.h"

#include <QDateTime>
#include <QDebug>
#include <QFileInfo>
#include <QJsonArray>
#include <QRandomGenerator>
#include <QSaveFile>

#include "device/Logging.h"
#include "device/NetworkCom.h"
#include "device/ReplyDocument.h"
#include "device/UnitAddress.h"
#include "model/PreampModel.h"
#include "system/PresetLoader.h"
#include "system/ShowLogCsv.h"
#include "system/ShowLogFilter.h"
#include "system/ShowLogModel.h"
#include "system/ShowLogStore.h"
#include "system/SystemManager.h"

namespace {

using Event = ShowLogEntry::Event;

} // namespace

ShowLog::ShowLog(std::unique_ptr<ShowLogStore> store, Clock clock, QObject *parent)
    : QObject(parent), m_store(std::move(store)),
      m_clock(clock ? std::move(clock) : Clock(&QDateTime::currentMSecsSinceEpoch)),
      m_model(new ShowLogModel(ShowLogModel::defaultCapacity, this)),
      m_filter(new ShowLogFilter(m_model, this)),
      m_session(QString::number(QRandomGenerator::global()->generate(), 36))
{
    m_closeTimer.setInterval(closeCheckMs);
    connect(&m_closeTimer, &QTimer::timeout, this, &ShowLog::closeDueEntries);
    const ShowLogStore::Contents stored = m_store->read(m_model->capacity());
    m_model->reset(stored.entries);
    for (const ShowLogEntry &entry : stored.entries) {
        noteUnit(entry);
        if (entry.kind() == ShowLogEntry::Kind::Program)
            m_previousRunUnclosed = entry.event == Event::Started;
    }
    noteProblems(stored.problems);
}

ShowLog::~ShowLog()
{
    recordClosed();
}

void ShowLog::watch(SystemManager *manager)
{
    m_units = manager->preamps();
    m_states.resize(m_units.size());
    NetworkCom *transport = manager->transport();
    connect(transport, &NetworkCom::statusUpdate, this,
            [this](const QJsonObject &doc, const QString &ip) {
                reportArrived(Report::Status, doc, ip);
            });
    connect(transport, &NetworkCom::channelUpdate, this,
            [this](const QJsonObject &doc, const QString &ip) {
                reportArrived(Report::Channel, doc, ip);
            });
    connect(transport, &NetworkCom::adcUpdate, this,
            [this](const QJsonObject &doc, const QString &ip) {
                reportArrived(Report::Converter, doc, ip);
            });
    connect(transport, &NetworkCom::meterUpdate, this,
            [this](const QJsonObject &doc, const QString &ip) {
                reportArrived(Report::Meter, doc, ip);
            });
    for (int slot = 0; slot < m_units.size(); ++slot) {
        PreampModel *unit = m_units.at(slot);
        connect(
            unit, &PreampModel::sendCommand, this,
            [this, slot](const QString &, const QString &command) { commandSent(slot, command); });
        connect(unit, &PreampModel::changeRefused, this,
                [this, slot](int row, const QString &role, const QVariant &value) {
                    changeRefused(slot, row, role, value);
                });
        connect(unit, &PreampModel::offline, this, [this, slot] { wentOffline(slot); });
        // The model's only sign of a first watchdog expiry.
        connect(unit, &PreampModel::dataChanged, this, [this, slot] { checkOverdue(slot); });
    }
    connect(manager, &SystemManager::save, this, &ShowLog::presetStored);
    connect(manager, &SystemManager::load, this, &ShowLog::presetRecalled);
}

QObject *ShowLog::entries() const
{
    return m_filter;
}

QStringList ShowLog::kindLabels() const
{
    return {QStringLiteral("Link"),    QStringLiteral("Clock"),   QStringLiteral("Overs"),
            QStringLiteral("Changes"), QStringLiteral("Presets"), QStringLiteral("Program")};
}

void ShowLog::setViewing(bool viewing)
{
    if (viewing == m_viewing)
        return;
    m_viewing = viewing;
    emit viewingChanged();
    if (m_viewing && m_alarm) {
        m_alarm = false;
        emit alarmChanged();
    }
}

// --- Entries ---------------------------------------------------------------------------------

ShowLogEntry ShowLog::newEntry(Event event, int slot, int row)
{
    ShowLogEntry entry;
    entry.id = m_session + QLatin1Char('-') + QString::number(m_nextId++);
    entry.event = event;
    entry.timeMs = now();
    entry.offsetSeconds = QDateTime::fromMSecsSinceEpoch(entry.timeMs).offsetFromUtc();
    if (slot < 0 || slot >= m_units.size())
        return entry;
    const PreampModel *unit = m_units.at(slot);
    entry.slot = slot + 1;
    entry.address = unit->ipAddr();
    entry.unitId = unit->preampID();
    entry.unitName = unit->preampName();
    if (isChannelRow(row)) {
        entry.channel = row + 1;
        entry.channelName = unit->channel(row)->name();
    }
    return entry;
}

qint64 ShowLog::record(const ShowLogEntry &entry)
{
    if (!m_store->append(entry))
        noteProblems(m_store->takeProblems());
    noteUnit(entry);
    if (entry.isAlarm() && !m_viewing && !m_alarm) {
        m_alarm = true;
        emit alarmChanged();
    }
    return m_model->add(entry);
}

void ShowLog::noteProblems(const QStringList &problems)
{
    if (problems.isEmpty())
        return;
    m_notice = problems.join(QLatin1Char('\n'));
    emit noticeChanged();
}

void ShowLog::noteUnit(const ShowLogEntry &entry)
{
    const QString key = entry.unitKey();
    if (key.isEmpty())
        return;
    const QVariantMap unit{{QStringLiteral("key"), key},
                           {QStringLiteral("label"), entry.unitLabel()}};
    const auto known = m_unitIndex.constFind(key);
    if (known == m_unitIndex.constEnd()) {
        m_unitIndex.insert(key, m_unitList.size());
        m_unitList << unit;
    } else if (m_unitList.at(*known) != unit) {
        m_unitList[*known] = unit; // a unit renamed since
    } else {
        return;
    }
    emit unitsChanged();
}

void ShowLog::gatheringChanged(Gathering &gathering)
{
    gathering.changed = true;
    m_model->update(gathering.handle, gathering.entry);
    if (!m_closeTimer.isActive())
        m_closeTimer.start();
}

void ShowLog::finish(Gathering &gathering)
{
    gathering.entry.open = false;
    if (gathering.changed && !m_store->append(gathering.entry))
        noteProblems(m_store->takeProblems());
    m_model->update(gathering.handle, gathering.entry);
}

void ShowLog::closeDueEntries()
{
    const qint64 t = now();
    const auto closeDue = [this, t](auto &gatherings) {
        for (auto it = gatherings.begin(); it != gatherings.end();) {
            if (t > it->closesAfterMs) {
                finish(*it);
                it = gatherings.erase(it);
            } else {
                ++it;
            }
        }
    };
    closeDue(m_overs);
    closeDue(m_changes);
    if (m_overs.isEmpty() && m_changes.isEmpty())
        m_closeTimer.stop();
}

void ShowLog::recordStarted()
{
    ShowLogEntry entry = newEntry(Event::Started);
    if (m_previousRunUnclosed)
        entry.note = QStringLiteral("the run before ended without closing");
    record(entry);
}

void ShowLog::recordClosed()
{
    if (m_closed)
        return;
    m_closed = true;
    for (Gathering &gathering : m_overs)
        finish(gathering);
    for (Gathering &gathering : m_changes)
        finish(gathering);
    m_overs.clear();
    m_changes.clear();
    m_closeTimer.stop();
    record(newEntry(Event::Closed));
    m_model->flush();
}

// --- Units -----------------------------------------------------------------------------------

ShowLog::UnitState &ShowLog::stateOf(int slot)
{
    UnitState &state = m_states[slot];
    // A new address is another unit, or the same one met anew: nothing known carries over.
    if (state.address != m_units.at(slot)->ipAddr()) {
        state = UnitState();
        state.address = m_units.at(slot)->ipAddr();
    }
    return state;
}

void ShowLog::reportArrived(Report report, const QJsonObject &document, const QString &address)
{
    if (document.isEmpty())
        return; // no model takes it
    for (int slot = 0; slot < m_units.size(); ++slot) {
        if (UnitAddress::sameUnit(address, m_units.at(slot)->ipAddr()))
            takeReport(slot, report, document);
    }
}

void ShowLog::takeReport(int slot, Report report, const QJsonObject &document)
{
    using namespace ReplyDocument;
    UnitState &state = stateOf(slot);
    const PreampModel *unit = m_units.at(slot);
    const qint64 t = now();
    if (unit->online() == PreampModel::Online && state.link != PreampModel::Online) {
        const bool wasAway = state.link >= 0 && state.awaySinceMs >= 0;
        ShowLogEntry entry = newEntry(wasAway ? Event::Back : Event::Online, slot);
        if (wasAway)
            entry.durationMs = t - state.awaySinceMs;
        record(entry);
        state.link = PreampModel::Online;
        state.awaySinceMs = -1;
    }
    state.lastAnswerMs = t;

    if (report == Report::Meter) {
        const QJsonObject meter = document.value(meterKey).toObject();
        for (int row = 0; row < Commands::channelCount; ++row) {
            if (readInt(meter.value(QString::number(row + 1))) == PreampModel::overLevel) {
                noteOver(slot, row);
                state.latchedOver[row] = true; // the unit latches it too
            }
        }
        return;
    }
    const QJsonObject adc = document.value(adcKey).toObject();
    if (report == Report::Status || report == Report::Converter) {
        const int locked = readLocked(adc.value(clockStatusKey)) ? 1 : 0;
        if (locked != state.clock) {
            if (!locked) {
                ShowLogEntry entry = newEntry(Event::ClockLost, slot);
                if (state.clock < 0)
                    entry.note = QStringLiteral("not locked when first seen");
                record(entry);
                state.unlockedSinceMs = t;
            } else if (state.clock == 0) {
                ShowLogEntry entry = newEntry(Event::ClockRegained, slot);
                entry.durationMs = t - state.unlockedSinceMs;
                record(entry);
            }
            state.clock = locked;
        }
    }
    for (const QJsonValue &value : document.value(channelsKey).toArray()) {
        const QJsonObject channel = value.toObject();
        const int row = readInt(channel.value(channelNoKey)) - 1;
        if (!isChannelRow(row))
            continue;
        const bool over = readSwitch(channel.value(overKey));
        if (over && !state.latchedOver[row])
            noteOver(slot, row); // latched on the unit between meter readings
        state.latchedOver[row] = over;
    }
    rememberSettings(state, document);
}

void ShowLog::checkOverdue(int slot)
{
    UnitState &state = stateOf(slot);
    if (state.link != PreampModel::Online ||
        m_units.at(slot)->online() != PreampModel::StatusOverdue)
        return;
    ShowLogEntry entry = newEntry(Event::Overdue, slot);
    entry.durationMs = now() - state.lastAnswerMs;
    record(entry);
    state.link = PreampModel::StatusOverdue;
    state.awaySinceMs = state.lastAnswerMs;
}

void ShowLog::wentOffline(int slot)
{
    UnitState &state = stateOf(slot);
    if (state.link == PreampModel::Offline)
        return;
    ShowLogEntry entry = newEntry(Event::Offline, slot);
    if (state.lastAnswerMs >= 0)
        entry.durationMs = now() - state.lastAnswerMs;
    record(entry);
    if (state.link == PreampModel::Online)
        state.awaySinceMs = state.lastAnswerMs;
    state.link = PreampModel::Offline;
}

void ShowLog::noteOver(int slot, int row)
{
    const qint64 t = now();
    const int key = slot * Commands::channelCount + row;
    auto it = m_overs.find(key);
    if (it != m_overs.end() && t - it->entry.timeMs <= overWindowMs) {
        ++it->entry.count;
        it->entry.lastMs = t;
        gatheringChanged(*it);
        return;
    }
    if (it != m_overs.end()) {
        finish(*it);
        m_overs.erase(it);
    }
    Gathering gathering;
    gathering.entry = newEntry(Event::Over, slot, row);
    gathering.entry.open = true;
    gathering.closesAfterMs = t + overWindowMs;
    gathering.handle = record(gathering.entry);
    m_overs.insert(key, gathering);
    if (!m_closeTimer.isActive())
        m_closeTimer.start();
}

// --- Presets -------------------------------------------------------------------------------

void ShowLog::presetStored(const QUrl &file)
{
    if (file.toString() == PresetLoader::closingPresetText)
        return; // part of closing, which has its own entry
    const QString path = PresetLoader::localPath(file);
    const QFileInfo info(path);
    // The loader has just written it, or has left the file as it was.
    const bool written =
        info.isFile() && info.lastModified().secsTo(QDateTime::currentDateTime()) <= 5;
    ShowLogEntry entry = newEntry(written ? Event::PresetStored : Event::PresetStoreFailed);
    entry.presetFile = path.isEmpty() ? file.fileName() : info.fileName();
    record(entry);
}

void ShowLog::presetRecalled(const QUrl &file, int loadType)
{
    const QString path = PresetLoader::localPath(file);
    ShowLogEntry entry = newEntry(Event::PresetRecalled);
    entry.presetFile = path.isEmpty() ? file.fileName() : QFileInfo(path).fileName();
    entry.loadType = loadType;
    record(entry);
}

// --- Export ----------------------------------------------------------------------------------

QString ShowLog::exportCsv(const QUrl &file)
{
    QString path = file.isLocalFile() ? file.toLocalFile() : QString();
    if (path.isEmpty())
        return QStringLiteral("Choose a file on this computer to export to.");
    if (QFileInfo(path).suffix().isEmpty())
        path += QStringLiteral(".csv");
    m_model->flush();
    QVector<ShowLogEntry> listed;
    listed.reserve(m_filter->rowCount());
    for (int row = m_filter->rowCount() - 1; row >= 0; --row)
        listed << m_model->at(m_filter->mapToSource(m_filter->index(row, 0)).row());
    QSaveFile out(path);
    if (!out.open(QIODevice::WriteOnly) || !ShowLogCsv::write(out, listed) || !out.commit()) {
        const QString error = QStringLiteral("Cannot write %1: %2").arg(path, out.errorString());
        qCWarning(lcSystem).noquote() << "Show log:" << error;
        return error;
    }
    qCDebug(lcSystem) << "Show log: exported" << listed.size() << "entries to" << path;
    return QString();
}
