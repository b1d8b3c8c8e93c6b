#ifndef COMPRESSIONJOB_H
#define COMPRESSIONJOB_H

#include "checksumrepair.h"

#include <QByteArray>
#include <QString>
#include <QVector>

#include <functional>

// The way back: a decompressed ROM held in memory, in big-endian order, made into a compressed
// one. Every file of the table is compressed with the matching encoder or stored as it is, laid
// out either as the original compressed ROM has it or packed one after another, the table's
// entries are rewritten for the new places and the header checksums repaired. Before the result
// is handed out it is decompressed again with the program's own pass, and every file must come
// back as it went in.
namespace CompressionJob {

// Table indices from first to last, both included.
struct IndexRange
{
    int first = 0;
    int last = 0;
};

struct Layout
{
    // With an original (big endian), each file is compressed exactly when the original stores it
    // compressed (a file the original's table does not list is compressed), keeps the original's
    // place when it still fits there and goes after the last used byte otherwise; every byte no
    // file covers is the original's, and the size is the original's, grown only as needed.
    QByteArray original;
    bool likeOriginal = false;
    // Without one, the files these ranges name are compressed, the rest stored, all laid one after
    // another from offset 0, each at a multiple of 16; the size is rounded up to 1 MiB.
    QVector<IndexRange> compressedFiles;
};

// Runs task for every index from 0 to count - 1, in any order and on any threads, and returns
// when all are done; the files are encoded this way. By default one after another. runAll runs
// tasks through a runner and throws on the calling thread what a task threw.
using Runner = std::function<void(int count, const std::function<void(int index)> &task)>;
void runAll(const Runner &runner, int count, const std::function<void(int index)> &task);

// Told after each file is encoded, on the thread that encoded it, how many are and how many
// there are in all.
using FilesEncoded = std::function<void(int done, int total)>;

struct Result
{
    QString error; // why there is no result; empty when there is one
    QByteArray image; // the compressed ROM, big endian
    int files = 0; // entries of the table that have bytes
    int compressedFiles = 0;
    int movedFiles = 0; // with an original: files that no longer fit their place
    qint32 tableAddress = 0; // where the table stands in the result
    HeaderChecksums::Report checksums;
    bool ok() const { return error.isEmpty(); }
};

// The largest image the result may be, the size of the image a decompression makes.
constexpr qint64 maxImageSize = 0x4000000;

// The compressed ROM, not yet checked. The layout's original becomes the image.
Result build(const QByteArray &rom, qint32 tableAddress, Layout layout,
    const Runner &runner = Runner(), const FilesEncoded &filesEncoded = FilesEncoded());

// The check of a built result: decompressed again with the program's own pass, every file must
// come back as the ROM has it. Returns why not (a bug in the program), or an empty string.
QString check(const Result &result, const QByteArray &rom, qint32 tableAddress);

// Built and checked; a result that fails the check is none.
Result compress(
    const QByteArray &rom, qint32 tableAddress, Layout layout, const Runner &runner = Runner());

} // namespace CompressionJob

#endif // COMPRESSIONJOB_H
