#ifndef OUTPUTNAMES_H
#define OUTPUTNAMES_H

#include <QString>
#include <QStringList>

// The names Tidepool gives what it writes, and the names it finds an original under.
namespace OutputNames {

extern const char decompressedPrefix[]; // "dec_"
extern const char compressedPrefix[]; // "cmp_"

// The prefix and the file name without its last extension, then ".z64": game.v64 gives
// dec_game.z64, a.b.z64 gives dec_a.b.z64, game gives dec_game.z64.
QString withPrefix(const QString &romFileName, const char *prefix);

// What a decompressed copy is named: dec_game.z64 for game.v64.
QString decompressedName(const QString &romFileName);

// What a compressed copy of a decompressed ROM is named: the name without a leading "dec_",
// with "cmp_" in front (dec_game.z64 gives cmp_game.z64).
QString compressedName(const QString &decompressedFileName);

// The names the original of a decompressed ROM usually has beside it: its name without the
// "dec_" that decompressing put in front, with each ROM extension (dec_game.z64 gives game.z64,
// game.v64 and game.n64, as the decompressed name is the same for all three). Empty when the
// name does not start with "dec_".
QStringList originalNames(const QString &decompressedFileName);

} // namespace OutputNames

#endif // OUTPUTNAMES_H
