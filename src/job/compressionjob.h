#ifndef COMPRESSIONJOB_H
#define COMPRESSIONJOB_H

#include "checksumrepair.h"
#include "compressioninput.h"
#include "passplan.h"
#include "romimage.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QVector>

#include <functional>

// The way back: a decompressed ROM held in memory, in big-endian order, made into a compressed
// one. Both inputs are checked first (see CompressionInput). Every file of the table (its virtual
// range) is compressed with the matching encoder or stored as it is, laid out either as the
// original compressed ROM has it or packed one after another, the table's entries are rewritten
// for the new places and the header checksums repaired. Before the result is handed out it is
// decompressed again as a user would decompress it, and every file must come back as it went in.
namespace CompressionJob {

using CompressionInput::IndexRange;
using CompressionInput::lastEntry;

struct Layout
{
    // With an original (big endian), each file is compressed exactly when the original stores it
    // compressed (a file the original's table does not list, or marks absent, is compressed), and
    // is placed as CompressionLayout::placeLikeOriginal says; every byte no file covers is the
    // original's, and the size is the original's, grown only as needed. A compressed file whose
    // bytes are what the original's stored file decodes to keeps the original's stored bytes.
    QByteArray original;
    bool likeOriginal = false;
    // Without one, the files these ranges name (lastEntry: the table's last index) are compressed,
    // the rest stored, all laid one after another from offset 0, each at a multiple of 16; the
    // size is rounded up to 1 MiB.
    QVector<IndexRange> compressedFiles;
};

// Runs task for every index from 0 to count - 1, in any order and on any threads, and returns
// when all are done; the files are encoded this way. By default one after another. runAll runs
// tasks through a runner and throws on the calling thread what a task threw.
using Runner = std::function<void(int count, const std::function<void(int index)> &task)>;
void runAll(const Runner &runner, int count, const std::function<void(int index)> &task);

// Told after each file is encoded, on the thread that encoded it, how many are and how many
// there are in all; returns whether to go on. Once it says no, the files not yet begun are left
// and build returns a Stopped refusal.
using FilesEncoded = std::function<bool(int done, int total)>;

// Whose fault it is that there is no result.
enum class Refusal {
    None,
    Rom, // the decompressed ROM cannot be compressed
    Original, // the original cannot be laid out like
    Ranges, // the ranges name no entry, or one that must stay stored
    Result, // the result would not decompress as it should
    Stopped, // asked to stop before the last file was encoded
};

struct Result
{
    QString error; // why there is no result; empty when there is one
    Refusal refusal = Refusal::None;
    QStringList warnings; // what the user should know of a result that was made
    QByteArray image; // the compressed ROM, big endian
    int files = 0; // entries of the table that have bytes
    int compressedFiles = 0;
    int movedFiles = 0; // with an original: files that could not keep their place
    int keptFiles = 0; // with an original: compressed files whose stored bytes were kept
    qint32 tableAddress = 0; // where the table stands in the result
    HeaderChecksums::Report checksums;
    bool ok() const { return error.isEmpty(); }
};

// The largest image the result may be, the size of the image a decompression makes.
constexpr qint64 maxImageSize = RomImage::decompressedSize;

// The compressed ROM, not yet checked. The layout's original becomes the image.
Result build(const QByteArray &rom, qint32 tableAddress, Layout layout,
    const Runner &runner = Runner(), const FilesEncoded &filesEncoded = FilesEncoded());

// The check of a built result: its table found as decompressing it would find it (the table
// choice of the ROM when the ROM needed one, else by the build string), every file of the ROM
// must come back as the ROM has it, no file may decode past its range, and the image must have
// the length decompressing the ROM gives. Returns why not, or an empty string.
QString check(const Result &result, const QByteArray &rom, qint32 tableAddress,
    const PassPlan::TableChoice &tableChoice = PassPlan::TableChoice());

// Built and checked; a result that fails the check is none.
Result compress(const QByteArray &rom, qint32 tableAddress, Layout layout,
    const Runner &runner = Runner(),
    const PassPlan::TableChoice &tableChoice = PassPlan::TableChoice());

} // namespace CompressionJob

#endif // COMPRESSIONJOB_H
