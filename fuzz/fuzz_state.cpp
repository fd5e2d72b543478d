// The bytes of the saved state, read back as start-up reads them. A restore fills at most the
// twelve slots and sends nothing; the preset folder it yields must come back unchanged from the
// save the window makes when it closes and the restore of the next start.

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QUrl>

#include <cstddef>
#include <cstdint>

#include "FuzzGraph.h"
#include "device/UnitAddress.h"
#include "model/PreampModel.h"
#include "system/SystemManager.h"

namespace {

void writeStateFile(const QByteArray &content)
{
    const QString directory = SystemManager::dataDirectory();
    FUZZ_CHECK(QDir().mkpath(directory));
    QFile file(QDir(directory).filePath(SystemManager::stateFileName));
    FUZZ_CHECK(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    FUZZ_CHECK(file.write(content) == content.size());
}

void checkSlots(const SystemManager *manager)
{
    const int active = manager->activePreamps();
    FUZZ_CHECK(active >= 0 && active <= SystemManager::slotCount);
    const QList<PreampModel *> models = manager->preamps();
    for (int slot = active; slot < models.size(); ++slot)
        FUZZ_CHECK(models.at(slot)->ipAddr() == UnitAddress::unset);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    FuzzGraph &graph = FuzzGraph::instance();
    SystemManager *manager = graph.reset();
    int restores = 0;
    QObject counting; // the counter's connection ends with this input
    QObject::connect(manager, &SystemManager::restored, &counting, [&restores] { ++restores; });

    writeStateFile(QByteArray(reinterpret_cast<const char *>(data), int(size)));
    manager->restoreState();
    FUZZ_CHECK(restores == 1);
    checkSlots(manager);
    FUZZ_CHECK(graph.commands().isEmpty());

    // No unit is online here, so the saved state lists none; the folder must survive.
    const QUrl folder = manager->presetDir();
    manager->saveState(folder);
    manager->restoreState();
    FUZZ_CHECK(manager->activePreamps() == 0);
    FUZZ_CHECK(manager->presetDir() == folder);
    return 0;
}
