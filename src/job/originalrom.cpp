#include "originalrom.h"

#include "byteorder.h"
#include "outputnames.h"
#include "romfile.h"

#include <QDir>
#include <QFileInfo>
#include <QVariantMap>

namespace OriginalRom {

namespace {

const QString rememberedKey = QStringLiteral("originalRoms");

// Decompressed ROMs whose originals are remembered; past this, those no longer on disk are let go.
constexpr int rememberedOriginals = 50;

} // namespace

Candidate read(const QString &path, const RomPlan::CompressionPlan &romPlan)
{
    Candidate candidate;
    candidate.path = path;
    candidate.plan = romPlan;
    RomFile::Contents contents = RomFile::read(path, RomFile::Lengths::AnyInBigEndian);
    if (!contents.ok()) {
        candidate.plan.refusal
            = Refusal::of(Refusal::Kind::Unreadable, contents.error, Refusal::Input::Original);
        return candidate;
    }
    RomByteOrder::toBigEndian(contents.bytes);
    candidate.image = std::move(contents.bytes);
    candidate.plan = RomPlan::withOriginal(romPlan, candidate.image, QFileInfo(path).fileName());
    return candidate;
}

Candidate suggest(
    const QSettings &settings, const QString &romPath, const RomPlan::CompressionPlan &romPlan)
{
    const QFileInfo rom(romPath);
    const QVariantMap remembered = settings.value(rememberedKey).toMap();
    QStringList paths {remembered.value(rom.absoluteFilePath()).toString()};
    for (const QString &name : OutputNames::originalNames(rom.fileName()))
        paths << rom.absoluteDir().filePath(name);
    for (const QString &path : qAsConst(paths)) {
        if (path.isEmpty() || !QFileInfo(path).isFile())
            continue;
        Candidate candidate = read(path, romPlan);
        if (candidate.ok())
            return candidate;
    }
    return Candidate();
}

void remember(QSettings &settings, const QString &savedPath, const QString &originalPath)
{
    QVariantMap remembered = settings.value(rememberedKey).toMap();
    if (remembered.size() >= rememberedOriginals) {
        for (auto it = remembered.begin(); it != remembered.end();)
            it = QFileInfo::exists(it.key()) ? std::next(it) : remembered.erase(it);
    }
    if (remembered.size() >= rememberedOriginals)
        remembered.erase(remembered.begin());
    remembered.insert(
        QFileInfo(savedPath).absoluteFilePath(), QFileInfo(originalPath).absoluteFilePath());
    settings.setValue(rememberedKey, remembered);
}

} // namespace OriginalRom
