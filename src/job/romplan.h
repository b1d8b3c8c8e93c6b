#ifndef ROMPLAN_H
#define ROMPLAN_H

#include "decompressionpass.h"
#include "filetable.h"
#include "knowndumps.h"
#include "refusal.h"

#include <QByteArray>
#include <QMap>
#include <QString>
#include <QStringList>
#include <QVector>

#include <climits>
#include <functional>

// What to do with a ROM, decided in one place for every front end, either way: where its file
// table is (the given address, the build string, a known dump), how its files are stored, whether
// the job may start (and if not, the one refusal that tells most), what the user should know, and
// whether the work stays within bounds. A plan is a value: the window, its worker, info,
// decompress, compress and the way back's check ask for one and then show it or run it; nothing
// further down decides again.
namespace RomPlan {

// Where to look for the table: at a given address (a preset or one typed), or by the build string.
struct TableChoice
{
    bool addressGiven = false;
    qint32 address = 0;
    bool checkFirstEntry = true; // refuse a table that does not start with the expected entry

    static TableChoice at(qint32 address, bool checkFirstEntry)
    {
        return TableChoice {true, address, checkFirstEntry};
    }
};

struct Plan
{
    qint32 address = 0;
    QVector<FileRecord> files; // empty when refused: a refused list can be long
    DecompressionPass::FileCodecs codecs; // how each file is stored
    QStringList warnings; // what the job may do, but the user should know
    Refusal refusal;
    QString knownDump; // the name of the known dump whose table address was used, if one was
    bool addressNeeded = false; // the build string alone would not have found the table
    bool ok() const { return !refusal.refused(); }
};

struct Options
{
    qint64 outputSize = DecompressionPass::outputImageSize; // the image the pass lays files into
    bool walkStreams = false; // name the Yaz0 files cut short (each stream is walked once)
};

// Returns the known dump the ROM is, or null; asked only when the build string is not to be
// trusted, so that a plain ROM does not pay for hashing.
using KnownDumpLookup = std::function<const KnownDumps::Dump *()>;

// The known dump the ROM is, looked up at most once and only when a decision needs it. The ROM
// must outlive the lookup.
KnownDumpLookup lookUpOnce(
    const QByteArray &rom, KnownDumps::Table table = KnownDumps::builtInTable());
// A lookup whose answer is already known (nullptr: the ROM is no known dump).
KnownDumpLookup answered(const KnownDumps::Dump *dump);

// The plan for decompressing rom, which is in big-endian order. The table is searched as the
// choice says: the given address, the build string's when a table starts there as expected, or
// else a known dump's.
Plan prepare(const QByteArray &rom, const TableChoice &choice,
    const KnownDumpLookup &knownDump = KnownDumpLookup(), const Options &options = Options());

// The compressed files of a table by how they are stored.
QMap<Codec, int> filesByCodec(
    const QVector<FileRecord> &files, const DecompressionPass::FileCodecs &codecs);

// Table indices from first to last, both included; lastEntry stands for the table's last index.
struct IndexRange
{
    int first = 0;
    int last = 0;
};
constexpr int lastEntry = INT_MAX;
bool isListed(const QVector<IndexRange> &ranges, int index);

// How the way back lays the ROM out: like the original compressed ROM it came from (in
// big-endian order, named in messages as originalName), or packed with the files that
// compressedFiles names compressed. An original not yet given (null) leaves its part of the plan
// to withOriginal.
struct Layout
{
    bool likeOriginal = false;
    const QByteArray *original = nullptr;
    QString originalName = QStringLiteral("ORIGINAL");
    QVector<IndexRange> compressedFiles;
    // The codec every compressed file is written with; without it, each as the original stores
    // it (a file it does not store compressed in the codec most of its files use), or Yaz0 when
    // packed.
    bool codecGiven = false;
    Codec codec = Codec::Yaz0;
    qint64 targetSize = 0; // the size the result must have, or 0
};

// The way back, planned once: the ROM's plan, the original's, the files to compress, how
// decompressing the result will find its table, and one refusal, the most telling: the ROM's
// (no table, still compressed, a damaged entry, cut off), then the original's (no table there,
// not compressed, a damaged entry, the table's file stored elsewhere), then the ranges'. Only
// what needs the layout itself (a result too large) is refused after the layout.
struct CompressionPlan
{
    Plan rom; // the decompressed ROM's table, whose files are its virtual ranges
    bool likeOriginal = false;
    bool originalGiven = false;
    Plan original; // with an original: the original's table at the ROM's address
    QVector<IndexRange> compressedFiles; // packed: resolved to the table's indices
    int tableEntry = -1; // the entry whose file holds the table
    bool codecGiven = false; // every compressed file in codec
    Codec codec = Codec::Yaz0; // packed, or given: the codec of every compressed file
    Codec newFileCodec = Codec::Yaz0; // like the original: for a file it does not compress
    qint64 targetSize = 0; // the size the result must have, or 0
    TableChoice resultTable; // how decompressing the result will find its table
    QStringList warnings;
    Refusal refusal;
    bool ok() const { return !refusal.refused(); }
};

CompressionPlan prepareCompression(
    const QByteArray &rom, const TableChoice &choice, const Layout &layout);

// The codec a compressed file at a position of the table is written with.
Codec writtenCodec(const CompressionPlan &plan, int position);

// A plan made without the original, completed with it: the ROM's part stands as it was decided.
CompressionPlan withOriginal(
    CompressionPlan plan, const QByteArray &original, const QString &originalName);

// Shown when the table does not start with the expected first entry; the window asks whether to
// go on, the command line refuses unless told not to check.
extern const char firstEntryWarning[];

// What the Yaz0 files found cut short while decoding are told as: each named with how much of it
// is missing, the first few, then how many more.
QStringList cutShortWarnings(
    const QVector<DecompressionPass::CutShortFile> &cutShort, qint32 tableAddress);

// "This ROM is already decompressed"
QString alreadyDecompressedText();

} // namespace RomPlan

#endif // ROMPLAN_H
