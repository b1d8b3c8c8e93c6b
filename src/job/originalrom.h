#ifndef ORIGINALROM_H
#define ORIGINALROM_H

#include "romplan.h"

#include <QByteArray>
#include <QSettings>
#include <QString>

// The compressed ROM that a decompressed one came from, which the way back lays it out like:
// reading a file as the original (one plan with the ROM, RomPlan::withOriginal), where it may
// be found without asking, and remembering it when a ROM is saved decompressed.
namespace OriginalRom {

// A file read as the original of a ROM: its path, its image in big-endian order, and the ROM's
// compression plan completed with it (refused when the file cannot be the original; the
// refusal names the file by its name).
struct Candidate
{
    QString path;
    QByteArray image;
    RomPlan::CompressionPlan plan;
    bool ok() const { return plan.ok() && plan.originalGiven; }
};

// Reads path as the original of the ROM whose plan (made without an original) is romPlan.
Candidate read(const QString &path, const RomPlan::CompressionPlan &romPlan);

// The original to suggest for the ROM at romPath: the one remembered when it was saved
// decompressed, else the file beside it named without "dec_" (with any ROM extension); the first
// that can be the original, or a candidate with no path when none can.
Candidate suggest(
    const QSettings &settings, const QString &romPath, const RomPlan::CompressionPlan &romPlan);

// Remembers, for a ROM saved decompressed at savedPath, the ROM it came from. Past a few dozen
// entries, those whose decompressed ROM is gone are let go first.
void remember(QSettings &settings, const QString &savedPath, const QString &originalPath);

} // namespace OriginalRom

#endif // ORIGINALROM_H
