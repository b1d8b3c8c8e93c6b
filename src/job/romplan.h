#ifndef ROMPLAN_H
#define ROMPLAN_H

#include "decompressionpass.h"
#include "knowndumps.h"
#include "passplan.h"

#include <QByteArray>

// What to do with a ROM, decided in one place for every front end: where its file table is (the
// given address, the build string, a known dump), how its files are stored, whether the job may
// start (and if not, what kind of refusal it is), what the user should know, and whether the work
// stays within bounds. The window and its worker, info, decompress and compress (for the ROM and
// for the original) all take these decisions from here.
namespace RomPlan {

// What the ROM is read for, which decides what is refused and what is warned of.
enum class Use {
    Decompress, // a ROM whose table the pass lays out: its stored files are decoded
    Compress, // a decompressed ROM to compress again: its files are its tables' virtual ranges
    LayOutLike, // the original compressed ROM whose layout the way back follows
};

struct Options
{
    qint64 outputSize = DecompressionPass::outputImageSize; // the image the pass lays files into
    bool walkStreams = false; // name the Yaz0 files cut short (each stream is walked once)
};

// The known dump the ROM is, looked up at most once and only when a decision needs it, so that a
// plain ROM does not pay for hashing. The ROM must outlive the lookup.
PassPlan::KnownDumpLookup lookUpOnce(
    const QByteArray &rom, KnownDumps::Table table = KnownDumps::builtInTable());
// A lookup whose answer is already known (nullptr: the ROM is no known dump).
PassPlan::KnownDumpLookup answered(const KnownDumps::Dump *dump);

// The plan for rom, which is in big-endian order. The table is searched as the choice says (see
// PassPlan::findTable); for LayOutLike it must stand at the chosen address, since the original's
// table is where the ROM has its own. A refused plan has no files.
PassPlan::Plan prepare(const QByteArray &rom, const PassPlan::TableChoice &choice,
    const PassPlan::KnownDumpLookup &knownDump = PassPlan::KnownDumpLookup(),
    Use use = Use::Decompress, const Options &options = Options());

} // namespace RomPlan

#endif // ROMPLAN_H
