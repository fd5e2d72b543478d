// A preset file's bytes, recalled with addresses and settings (load type 3), so that every
// restored unit also gets its full sync; then the recalled setup is stored and that file
// recalled and stored again, which must give back the same bytes. A file that restores nothing
// (most mutations are no JSON object) leaves the graph as it was built, whose store is the same
// every time: it is checked on the first such input only, as each read of a preset reserves the
// largest size a preset may have, which under AddressSanitizer sets the fuzzer's pace.

#include <QByteArray>
#include <QFile>
#include <QUrl>

#include <cstddef>
#include <cstdint>
#include <utility>

#include "FuzzGraph.h"
#include "device/Commands.h"
#include "system/PresetLoader.h"
#include "system/SystemManager.h"

namespace {

constexpr int recallEverything = 3;
constexpr int commandsPerFullSync = 45;

void writeFile(const QString &path, const QByteArray &content)
{
    QFile file(path);
    FUZZ_CHECK(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    FUZZ_CHECK(file.write(content) == content.size());
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The stored file, once more through a recall and a store.
void checkStoreIsStable(PresetLoader *loader, const QString &path)
{
    const QUrl url = QUrl::fromLocalFile(path);
    loader->savePreset(url);
    const QByteArray stored = readFile(path);
    FUZZ_CHECK(!stored.isEmpty());
    loader->loadPreset(url, recallEverything);
    loader->savePreset(url);
    FUZZ_CHECK(readFile(path) == stored);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    FuzzGraph &graph = FuzzGraph::instance();
    SystemManager *manager = graph.reset();
    PresetLoader *loader = manager->presetLoader();
    int countsTaken = 0;
    int recalls = 0;
    QObject counting; // the counters' connections end with this input
    QObject::connect(manager, &SystemManager::activesChanged, &counting,
                     [&countsTaken] { ++countsTaken; });
    QObject::connect(loader, &PresetLoader::presetLoaded, &counting, [&recalls] { ++recalls; });

    const QString path = graph.homePath() + QStringLiteral("/fuzz.cvp");
    writeFile(path, QByteArray(reinterpret_cast<const char *>(data), int(size)));
    loader->loadPreset(QUrl::fromLocalFile(path), recallEverything);

    FUZZ_CHECK(recalls == 1);
    FUZZ_CHECK(countsTaken <= 1);
    const int active = manager->activePreamps();
    FUZZ_CHECK(active >= 0 && active <= SystemManager::slotCount);
    FUZZ_CHECK(graph.commands().size() == (countsTaken ? commandsPerFullSync * active : 0));
    for (const QString &command : graph.commands())
        FUZZ_CHECK(Commands::parse(command).has_value());

    // A recall that took nothing leaves the graph as it was built, whose store is checked once.
    static bool builtStoreChecked = false;
    if (countsTaken || !std::exchange(builtStoreChecked, true))
        checkStoreIsStable(loader, graph.homePath() + QStringLiteral("/stored.cvp"));
    return 0;
}
