#ifndef COMPRESSIONJOB_H
#define COMPRESSIONJOB_H

#include "checksumrepair.h"
#include "refusal.h"
#include "romimage.h"
#include "romplan.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QVector>

#include <functional>
#include <vector>

// The way back: a decompressed ROM held in memory, in big-endian order, made into a compressed
// one as its plan (RomPlan::prepareCompression) says: each file compressed or stored, laid out
// like the original compressed ROM or packed, the table's entries rewritten for the new places
// and the header checksums repaired. Before the result is handed out it is decompressed again as
// a user would decompress it, and every file must come back as it went in.
namespace CompressionJob {

// Runs task for every index from 0 to count - 1, in any order and on any threads, and returns
// when all are done; the files are encoded this way. By default one after another. runAll runs
// tasks through a runner and throws on the calling thread what a task threw.
using Runner = std::function<void(int count, const std::function<void(int index)> &task)>;
void runAll(const Runner &runner, int count, const std::function<void(int index)> &task);

// Told after each file is encoded, on the thread that encoded it, how many are and how many
// there are in all; returns whether to go on. Once it says no, the files not yet begun are left
// and build returns a Stopped refusal.
using FilesEncoded = std::function<bool(int done, int total)>;

struct Result
{
    Refusal refusal; // why there is no result
    QStringList warnings; // what the user should know of a result that was made
    QByteArray image; // the compressed ROM, big endian
    int files = 0; // entries of the table
    int compressedFiles = 0;
    int movedFiles = 0; // with an original: files that could not keep their place
    int keptFiles = 0; // with an original: compressed files whose stored bytes were kept
    qint32 tableAddress = 0; // where the table stands in the result
    HeaderChecksums::Report checksums;
    // For each file: the digest (see Digest) of the stored bytes that were decoded and found to
    // be the ROM's file, when it keeps the original's; 0 for the others.
    std::vector<quint64> decodedDigests;
    bool ok() const { return !refusal.refused(); }
};

// The largest image the result may be, the size of the image a decompression makes.
constexpr qint64 maxImageSize = RomImage::decompressedSize;

// The compressed ROM the plan (which must be ok) describes, not yet checked. Every file of the
// table (its virtual range) is compressed with the matching encoder or stored as it is. With an
// original (big endian, the bytes the plan was made from), each file is compressed exactly when
// the original stores it compressed (a file the original's table does not list, or marks absent,
// is compressed), and is placed as CompressionLayout::placeLikeOriginal says; every byte no file
// covers is the original's, which becomes the image, and the size is the original's, grown only
// as needed. A compressed file whose bytes are what the original's stored file decodes to keeps
// the original's stored bytes. Packed, the files the plan names are compressed and the rest
// stored, laid as CompressionLayout::placePacked says.
Result build(const QByteArray &rom, QByteArray original, const RomPlan::CompressionPlan &plan,
    const Runner &runner = Runner(), const FilesEncoded &filesEncoded = FilesEncoded());

// The check of a built result, as decompressing it would go: its table found as decompressing
// finds it (the plan's resultTable), every compressed file declaring the size of its range, and
// every file decoding (by the pass's own decoders) to exactly what the ROM holds in its range,
// the table's physical words and the header checksums aside, which are the result's own. As no
// file decodes past its range, the decompressed image then has the length decompressing the ROM
// gives. The files are checked one by one, each into a buffer of its own size, so that they can
// be checked on several threads and no second image is made.
class ResultCheck
{
public:
    ResultCheck(const Result &result, const QByteArray &rom, const RomPlan::CompressionPlan &plan);

    // The files to check with checkFile, from 0; none when the result as a whole fails.
    int files() const { return wholeProblem.isEmpty() ? decompression.files.size() : 0; }
    // Checks one file; safe to call for different files at once.
    void checkFile(int index);
    // Why the result would not decompress as it should, or an empty string.
    QString verdict() const;

private:
    const Result &result;
    const QByteArray &rom;
    const RomPlan::CompressionPlan &plan;
    RomPlan::Plan decompression;
    QString wholeProblem;
    std::vector<QString> fileProblems; // one for each file, written by the thread checking it
};

// The whole check, its files run through the runner.
QString check(const Result &result, const QByteArray &rom, const RomPlan::CompressionPlan &plan,
    const Runner &runner = Runner());

// Built and checked; a result that fails the check is none.
Result compress(const QByteArray &rom, QByteArray original, const RomPlan::CompressionPlan &plan,
    const Runner &runner = Runner());

} // namespace CompressionJob

#endif // COMPRESSIONJOB_H
