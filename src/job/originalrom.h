#ifndef ORIGINALROM_H
#define ORIGINALROM_H

#include <QString>

// The compressed ROM that a decompressed one came from, which the way back lays it out like:
// where it may be found without asking, and whether a file can be it.
namespace OriginalRom {

// The name the original of a decompressed ROM usually has beside it: its name without the "dec_"
// that decompressing put in front (dec_game.z64 gives game.z64); empty when there is none.
QString siblingName(const QString &decompressedFileName);

// The name a compressed copy is proposed under: "cmp_", the name without a leading "dec_" and
// without its last extension, then ".z64" (dec_game.z64 gives cmp_game.z64).
QString compressedName(const QString &decompressedFileName);

// Why the file at path cannot be the original of a ROM whose table is at tableAddress: it cannot
// be read, it is no compressed ROM, or its table there would be refused (see RomPlan's LayOutLike
// use). An empty string when it can.
QString problem(const QString &path, qint32 tableAddress);

} // namespace OriginalRom

#endif // ORIGINALROM_H
