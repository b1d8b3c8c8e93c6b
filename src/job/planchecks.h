#ifndef PLANCHECKS_H
#define PLANCHECKS_H

// The decisions a plan is made of, for romplan.cpp alone: front ends ask for a plan (romplan.h)
// and never for a piece of one.

#include "romplan.h"

namespace RomPlan {
namespace Checks {

struct TableSearch
{
    qint32 address = 0;
    QString knownDump; // the name of the known dump whose table address was used, if one was
    bool addressNeeded = false; // the build string alone would not have found a table
    Refusal refusal;
};

// Finds the table as the choice says.
TableSearch findTable(
    const QByteArray &rom, const TableChoice &choice, const KnownDumpLookup &knownDump);

// Why no table can stand at address (it lies past the end of the ROM), or an empty string.
QString addressProblem(const QByteArray &rom, qint32 address);

// "The file table at ... runs to the end of the ROM ...", for a table whose end mark is cut off.
QString tableCutOffText(const QByteArray &rom, qint32 address, int entries);

// How the ROM's compressed files are stored, found once: a file with a hack codec's magic in that
// codec; the others in Yaz0 when the first of them starts as a Yaz0 file, otherwise in DEFLATE
// when the known dump says so, or when that file inflates cleanly to exactly its range (then
// firstInflated is set, and it need not be inflated again).
struct CodecFinding
{
    DecompressionPass::FileCodecs codecs;
    bool firstInflated = false;
};
CodecFinding codecOf(
    const QByteArray &rom, const QVector<FileRecord> &files, const KnownDumpLookup &knownDump);

// "The file table at 0x... lists more than 65536 files, far more than any game has"
QString tooManyFilesText(qint32 address);

// What is wrong with an entry that the pass could not survive: "holds a negative address".
QString problemText(DecompressionPass::Problem problem);

// Why a pass over the files must not start: a list with no files (the pass would never report
// back), one longer than any game's, one with an entry that could crash the pass or grow the image
// without bound, or a file of a codec that decodes whole (DEFLATE, the hack codecs) that does not
// declare its range's length or decode whole to exactly it.
Refusal passRefusal(const QByteArray &rom, qint64 outputSize, qint32 address,
    const QVector<FileRecord> &files, const CodecFinding &codec);

// What is odd about a table that may be decompressed: cut off inside the table, files whose
// stored bytes lie past the end of the ROM, a length no ROM has, no compressed file at all, files
// decoded as Yaz0 whose magic is another, and (when walked) Yaz0 files cut short.
QStringList passWarnings(const QByteArray &rom, qint32 address, const QVector<FileRecord> &files,
    const DecompressionPass::FileCodecs &codecs, bool walkStreams);

// The decompressed ROM the way back starts from, most telling first: still compressed, then a
// table with no files or too many, a damaged entry, files past the end of the ROM or adding up to
// more than a decompressed ROM holds, and a table that is in none of its files.
Refusal romRefusal(const QByteArray &rom, qint32 address, const QVector<FileRecord> &files);

// The original: a table at the ROM's address that starts as one, compressed files, no iQue
// DEFLATE ones (codecs says how each is stored), no
// entry the pass would refuse, no two entries whose stored bytes overlap, and the table's own file
// stored as it is where the ROM has it (tableFile). Every text names it as name.
Refusal originalRefusal(const QByteArray &original, qint32 address,
    const QVector<FileRecord> &files, const DecompressionPass::FileCodecs &codecs,
    const FileRecord &tableFile, const QString &name);
QStringList originalWarnings(
    const QByteArray &original, const QVector<FileRecord> &files, const QString &name);

// The entries whose files must stay stored in a packed layout: the header's, which the console
// reads as it is, the table's, and the build string's when decompressing the result will look for
// it (-1 for none).
struct KeptEntries
{
    int table = -1;
    int buildString = -1;
};

// Turns lastEntry into the table's last index and checks that every range names an entry and
// that none names a file that must stay stored.
Refusal rangesRefusal(QVector<IndexRange> &ranges, const QVector<FileRecord> &files, qint32 address,
    const KeptEntries &kept);

} // namespace Checks
} // namespace RomPlan

#endif // PLANCHECKS_H
