#include <QCoreApplication>
#include <QDir>
#include <QQmlApplicationEngine>
#include <QStandardPaths>
#include <QUrl>

#include <cstdio>

#include "app/Startup.h"
#include "device/NetworkCom.h"
#include "model/PreampModel.h"
#include "system/PresetLoader.h"
#include "system/SystemManager.h"

// Stores a preset and the saved state through the program's own code, alternating between two
// complete setups, until it is killed; the crash-safety suite kills it at random moments.
//
//   octo_store_loop PRESET_FILE            store versions 0, 1, 0, ... for ever
//   octo_store_loop PRESET_FILE VERSION    store that version (0 or 1) once and end
//
// It prints "state <path>" (the saved-state file, in the test-mode application-data folder
// below $HOME) and then "storing" before the first store. Nothing is sent to any unit.

namespace {

constexpr int unitCount = 12;
// Long scribble strips make each store take long enough for a kill to land inside it.
constexpr int scribbleLength = 4000;

void applySetup(SystemManager &manager, int version)
{
    manager.setActivePreamps(unitCount);
    manager.setGroups({QStringLiteral("Group of version %1").arg(version)});
    for (int k = 0; k < unitCount; ++k) {
        PreampModel *model = manager.preamps().at(k);
        model->setIP(QStringLiteral("10.%1.0.%2").arg(version).arg(k + 1));
        // Only units that are not offline are kept in the saved state.
        model->setData(model->index(0), PreampModel::Online, PreampModel::OnlineRole);
        for (int j = 0; j < PreampModel::channelCount; ++j) {
            Channel *ch = model->channel(j);
            ch->setName(QStringLiteral("v%1 u%2 c%3").arg(version).arg(k + 1).arg(j + 1));
            ch->setGain(10 * version + j);
            ch->setScribbleStrip(QString(scribbleLength, QChar('a' + version)));
        }
    }
}

void store(SystemManager &manager, const QUrl &preset, int version)
{
    applySetup(manager, version);
    manager.presetLoader()->savePreset(preset);
    manager.saveState(QUrl::fromLocalFile(QStringLiteral("/presets/version-%1").arg(version)));
}

void say(const QString &line)
{
    std::printf("%s\n", qPrintable(line));
    std::fflush(stdout);
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    // Every store logs the whole document; at this rate that would only slow the loop down.
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &) {});
    QStandardPaths::setTestModeEnabled(true);
    Startup::nameApplication();
    const QStringList arguments = app.arguments();
    if (arguments.size() < 2 || arguments.size() > 3) {
        std::fprintf(stderr, "usage: octo_store_loop PRESET_FILE [VERSION]\n");
        return 2;
    }
    const QUrl preset = QUrl::fromLocalFile(arguments.at(1));

    QQmlApplicationEngine engine;
    NetworkCom transport;
    SystemManager manager(&transport, &engine);
    say(QStringLiteral("state ") +
        QDir(SystemManager::dataDirectory()).filePath(SystemManager::stateFileName));
    say(QStringLiteral("storing"));
    if (arguments.size() == 3) {
        store(manager, preset, arguments.at(2).toInt());
    } else {
        for (int i = 0;; i = 1 - i)
            store(manager, preset, i);
    }
    const QList<PreampModel *> models = manager.preamps();
    qDeleteAll(models);
    return 0;
}
