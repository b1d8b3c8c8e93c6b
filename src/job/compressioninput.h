#ifndef COMPRESSIONINPUT_H
#define COMPRESSIONINPUT_H

#include "filetable.h"
#include "romimage.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QVector>

#include <climits>

// What the way back takes in, checked before a single file is encoded: the decompressed ROM, the
// original compressed ROM it is laid out like, and the table indices named for compression. Each
// check returns why the input cannot be used, in words that name the input and the entry, or an
// empty string.
namespace CompressionInput {

// Table indices from first to last, both included; lastEntry stands for the table's last index.
struct IndexRange
{
    int first = 0;
    int last = 0;
};
constexpr int lastEntry = INT_MAX;

// Files of a decompressed ROM lie side by side in at most 64 MiB; twice that allows for tools
// that leave files overlapping a little. A table whose files overlap many times over would cost
// encoding time and memory for each time.
constexpr qint64 maxFileBytes = qint64(2) * RomImage::decompressedSize;

// The ROM's files are the virtual ranges of its table: in a decompressed ROM the physical words
// are leftovers of the original (the pass rewrites them, but the table's own file is laid over the
// rewrites of the entries before it), so only the absent mark is believed.
bool hasBytes(const FileRecord &file);
// The entry as the files of a decompressed ROM are read: stored as it is at its virtual start.
FileRecord asStored(const FileRecord &file);

// The ROM: a table of 1 to FileTable::maxFiles entries whose files hold the table itself, and
// whose files pass fileProblem.
QString romProblem(const QByteArray &rom, qint32 tableAddress, const QVector<FileRecord> &files);
// Sound virtual ranges inside the ROM, no file that is really still compressed (its stored bytes
// are a Yaz0 file declaring its range's size, or the ROM's first compressed file inflates to its
// range), and not more than maxFileBytes of files in all.
QString fileProblem(const QByteArray &rom, qint32 tableAddress, const QVector<FileRecord> &files);

// The original compressed ROM: a table at tableAddress that starts as a file table does, no entry
// the decompression pass would refuse, Yaz0 files (a DEFLATE ROM cannot be laid out like), and no
// two files whose stored bytes overlap. Entries whose stored bytes lie past its end are allowed (it
// looks cut off; see originalWarnings).
QString originalProblem(
    const QByteArray &original, qint32 tableAddress, const QVector<FileRecord> &originalFiles);
QStringList originalWarnings(const QByteArray &original, const QVector<FileRecord> &originalFiles);

// Whether the stored bytes of the original's entry lie whole inside the original.
bool storedInside(const QByteArray &original, const FileRecord &file);
// "Entry 3 of the file table at 0x00007430"
QString entryText(int index, qint32 tableAddress);

// The index of the entry whose file holds the table, or -1.
int tableEntry(const QVector<FileRecord> &files, qint32 tableAddress);

// Turns lastEntry into the table's last index and checks that every range names an entry of it
// and that none names a file that must stay stored (the header's, which the console reads as it
// is, or the table's, tableEntry). Returns why not, or an empty string.
QString resolveRanges(QVector<IndexRange> &ranges, const QVector<FileRecord> &files,
    qint32 tableAddress, int tableEntry);

bool isListed(const QVector<IndexRange> &ranges, int index);

} // namespace CompressionInput

#endif // COMPRESSIONINPUT_H
