#include "compressionjob.h"

#include "windowtext.h"

#include "checksum.h"
#include "compressionlayout.h"
#include "decompressionpass.h"
#include "digest.h"
#include "entrytext.h"
#include "filetable.h"
#include "imagebuffer.h"
#include "knowndumps.h"
#include "yaz0.h"
#include "yaz0matchingencoder.h"

#include <QAtomicInt>
#include <QMutex>

#include <algorithm>
#include <cstring>
#include <exception>
#include <memory>
#include <utility>
#include <vector>

namespace CompressionJob {

namespace {

using CompressionLayout::Piece;
using CompressionLayout::Storage;

Result refusal(Refusal::Kind kind, const QString &reason)
{
    Result result;
    result.refusal = Refusal::of(kind, reason);
    return result;
}

using EntryText::name;

QString bugText(const QString &what)
{
    return windowText("%1; this is a bug in Tidepool, and nothing was written").arg(what);
}

Storage storageFor(const FileRecord &file, const RomPlan::CompressionPlan &plan)
{
    if (!FileTable::hasBytes(file))
        return Storage::Absent;
    if (!plan.likeOriginal) {
        return RomPlan::isListed(plan.compressedFiles, file.index) ? Storage::Compressed
                                                                   : Storage::Plain;
    }
    const QVector<FileRecord> &originalFiles = plan.original.files;
    // A file the original does not have, or added in a slot it marks absent, is compressed.
    if (file.index >= originalFiles.size()
        || originalFiles.at(file.index).physicalEnd == FileTable::absentFile)
        return Storage::Compressed;
    return FileTable::isCompressed(originalFiles.at(file.index)) ? Storage::Compressed
                                                                 : Storage::Plain;
}

// Room to decode one of the original's files into; each thread keeps its own, except after a
// large file.
class DecodeScratch
{
public:
    static char *forBytes(qint64 bytes)
    {
        thread_local QByteArray scratch;
        if (scratch.size() < bytes || scratch.size() > keptSize)
            scratch = QByteArray(int(std::max<qint64>(bytes, 0x10000)), Qt::Uninitialized);
        return scratch.data();
    }

private:
    static constexpr int keptSize = 1 << 20;
};

// Whether the original's stored file for this entry, in the codec it is to be written in,
// decodes to exactly these bytes; decoding is far faster than encoding, and keeps an original's
// bytes whatever encoder made them.
bool originalStoresTheSame(const QByteArray &original, const FileRecord &stored, Codec codec,
    const char *content, qint64 length)
{
    if (!FileTable::isCompressed(stored) || !DecompressionPass::storedInside(original, stored))
        return false;
    const char *file = original.constData() + stored.physicalStart;
    const qint64 fileLength = DecompressionPass::storedLength(stored);
    const bool magic = codec == Codec::Yaz0 ? Yaz0::hasMagic(file, fileLength)
                                            : CodecFile::fromMagic(file, fileLength) == codec;
    // Every codec's header holds the declared size where Yaz0's does.
    if (!magic || fileLength < CodecFile::headerSize(codec)
        || Yaz0::declaredSize(file, fileLength) != length)
        return false;
    char *decoded = DecodeScratch::forBytes(length + Yaz0::outputSlack);
    const qint64 produced = DecompressionPass::decodeFile(original, stored, codec, decoded);
    return produced == length && std::memcmp(decoded, content, size_t(length)) == 0;
}

// The largest ROM most players take: the size of the largest cartridges sold.
constexpr qint64 commonLargestRom = qint64(32) << 20;

// A file this large is encoded in parts, on all the runner's threads (see
// Yaz0MatchingEncoder::PartedFile); smaller ones are encoded whole, each on one.
constexpr int partedFileSize = 2 * Yaz0MatchingEncoder::PartedFile::defaultPartSize;

void padToAlignment(Piece &piece)
{
    piece.stored.append(
        QByteArray(int(Piece::align(piece.stored.size()) - piece.stored.size()), '\0'));
    piece.length = piece.stored.size();
}

// Stores, keeps or encodes a file; a large file to encode is only split into parts, in parted.
void prepare(Piece &piece, const QByteArray &rom, const FileRecord &file,
    const QByteArray &original, const QVector<FileRecord> &originalFiles,
    std::unique_ptr<Yaz0MatchingEncoder::PartedFile> &parted)
{
    const char *content = rom.constData() + file.virtualStart;
    const qint64 length = qint64(file.virtualEnd) - file.virtualStart;
    if (piece.storage == Storage::Plain) {
        piece.stored = QByteArray::fromRawData(content, int(length)); // a view, not a copy
        piece.length = length;
    } else if (piece.storage == Storage::Compressed) {
        if (file.index < originalFiles.size()
            && originalStoresTheSame(
                original, originalFiles.at(file.index), piece.codec, content, length)) {
            piece.keptFrom = originalFiles.at(file.index).physicalStart;
            piece.length = DecompressionPass::storedLength(originalFiles.at(file.index));
            piece.keptDigest = Digest::of(original.constData() + piece.keptFrom, piece.length);
            return;
        }
        const QByteArray data = QByteArray::fromRawData(content, int(length));
        if (piece.codec != Codec::Yaz0) {
            piece.stored = CodecFile::encodeFile(piece.codec, data);
        } else if (length >= partedFileSize) {
            parted = std::make_unique<Yaz0MatchingEncoder::PartedFile>(data);
            return;
        } else {
            piece.stored = Yaz0MatchingEncoder::encodeFile(data);
        }
        padToAlignment(piece);
    }
}

// The pieces of every file, stored or encoded; empty when filesEncoded asked to stop. Files are
// prepared at once; then the parts of the large files to encode, all at once; then each large
// file is joined from its parts.
QVector<Piece> preparePieces(const QByteArray &rom, const QByteArray &original,
    const RomPlan::CompressionPlan &plan, const Runner &runner, const FilesEncoded &filesEncoded)
{
    using Yaz0MatchingEncoder::PartedFile;
    const QVector<FileRecord> &files = plan.rom.files;
    const QVector<FileRecord> &originalFiles = plan.original.files;
    QVector<Piece> pieces(files.size());
    for (int i = 0; i < files.size(); ++i) {
        pieces[i].storage = storageFor(files.at(i), plan);
        pieces[i].codec = RomPlan::writtenCodec(plan, i);
    }
    Piece *const each = pieces.data(); // detached once, before any thread writes to it
    std::vector<std::unique_ptr<PartedFile>> parted(size_t(files.size()));
    QAtomicInt prepared = 0;
    QAtomicInt stopped = 0;
    const auto done = [&] {
        const int count = prepared.fetchAndAddOrdered(1) + 1;
        if (filesEncoded && !filesEncoded(count, files.size()))
            stopped.storeRelease(1);
    };
    runAll(runner, files.size(), [&](int i) {
        if (stopped.loadAcquire())
            return;
        prepare(each[i], rom, files.at(i), original, originalFiles, parted[size_t(i)]);
        if (!parted[size_t(i)])
            done();
    });

    struct PartOf
    {
        int file;
        int part;
    };
    std::vector<PartOf> parts;
    std::vector<int> partedFiles;
    for (int i = 0; i < files.size(); ++i) {
        if (!parted[size_t(i)])
            continue;
        partedFiles.push_back(i);
        for (int part = 0; part < parted[size_t(i)]->parts(); ++part)
            parts.push_back({i, part});
    }
    runAll(runner, int(parts.size()), [&](int j) {
        if (!stopped.loadAcquire())
            parted[size_t(parts[size_t(j)].file)]->encodePart(parts[size_t(j)].part);
    });
    runAll(runner, int(partedFiles.size()), [&](int k) {
        if (stopped.loadAcquire())
            return;
        const int i = partedFiles[size_t(k)];
        each[i].stored = parted[size_t(i)]->file();
        parted[size_t(i)].reset();
        padToAlignment(each[i]);
        done();
    });
    if (stopped.loadAcquire())
        pieces.clear();
    return pieces;
}

// Where the table stands in the new image: inside the stored file that holds it.
qint32 tablePlace(const QVector<FileRecord> &files, const QVector<Piece> &pieces,
    qint32 tableAddress, int tableEntry)
{
    if (tableEntry < 0 || pieces.at(tableEntry).storage != Storage::Plain)
        return -1;
    return qint32(pieces.at(tableEntry).place + (tableAddress - files.at(tableEntry).virtualStart));
}

void writeEntries(
    QByteArray &image, qint32 at, const QVector<FileRecord> &files, const QVector<Piece> &pieces)
{
    char *const table = image.data() + at;
    for (int i = 0; i < files.size(); ++i) {
        const Piece &piece = pieces.at(i);
        FileRecord entry = files.at(i);
        entry.physicalStart = FileTable::absentFile;
        entry.physicalEnd = FileTable::absentFile;
        if (piece.storage != Storage::Absent) {
            entry.physicalStart = qint32(piece.place);
            entry.physicalEnd = piece.storage == Storage::Compressed
                ? qint32(piece.place + piece.length)
                : FileTable::uncompressedFile;
        }
        FileTable::writeEntry(table + FileTable::entryOffset(0, i), entry);
    }
}

// The image: the original (or zeros) with every piece written at its place. The original's stored
// bytes that a file keeps are already there, unless the file moved.
// What an original pads its end with: the byte its last bytes repeat, or zero.
char paddingOf(const QByteArray &original, qint64 used)
{
    if (original.isEmpty() || used >= original.size())
        return '\0';
    const char last = original.at(original.size() - 1);
    const qint64 from = std::max<qint64>(used, original.size() - 0x1000);
    for (qint64 i = from; i < original.size(); ++i) {
        if (original.at(int(i)) != last)
            return '\0';
    }
    return last;
}

QByteArray assemble(QVector<Piece> &pieces, QByteArray &original, bool likeOriginal,
    const CompressionLayout::Extent &extent, Result &result)
{
    const qint64 size = extent.size;
    for (Piece &piece : pieces) {
        if (piece.keptFrom >= 0 && piece.keptFrom != piece.place) {
            piece.stored = original.mid(int(piece.keptFrom), int(piece.length));
            piece.keptFrom = -1;
        }
    }
    const char padding = likeOriginal ? paddingOf(original, extent.used) : '\0';
    QByteArray image = likeOriginal ? std::move(original) : QByteArray();
    if (image.size() < size)
        image.append(QByteArray(int(size - image.size()), padding));
    // A size asked for that is smaller than the original's cuts off its padding only.
    image.truncate(int(size));
    char *out = image.data();
    for (const Piece &piece : qAsConst(pieces)) {
        if (piece.storage == Storage::Absent)
            continue;
        if (piece.keptFrom < 0 && piece.length > 0)
            std::memcpy(out + piece.place, piece.stored.constData(), size_t(piece.length));
        if (piece.storage == Storage::Compressed)
            ++result.compressedFiles;
        if (piece.keptFrom >= 0)
            ++result.keptFiles;
    }
    return image;
}

// What is wrong with how decompressing the result would find its table (refused, or at another
// address than where it was written), or an empty string.
QString tableSearchProblem(const RomPlan::Plan &plan, qint32 written)
{
    if (plan.refusal.refused() && plan.refusal.kind != Refusal::Kind::Table) {
        return windowText("Decompressing the compressed ROM would fail (%1), so nothing was "
                          "written; its file table is at %2")
            .arg(plan.refusal.text, FileTable::addressText(written));
    }
    if (plan.address != written) {
        return windowText(
            "Decompressing the compressed ROM would read its file table at %1, but it "
            "stands at %2 (the build string no longer leads to it), so nothing was "
            "written")
            .arg(FileTable::addressText(plan.address), FileTable::addressText(written));
    }
    return QString();
}

// A compressed file of the result that would not decode to exactly its range.
QString fileThatDecodesPastItsRange(
    const QByteArray &image, const QVector<FileRecord> &files, qint32 tableAddress)
{
    for (const FileRecord &file : files) {
        if (!FileTable::isCompressed(file))
            continue;
        const QByteArray stored = DecompressionPass::storedBytes(image, file);
        // Every codec the way back writes keeps the declared size where Yaz0 does.
        const qint64 declared = Yaz0::declaredSize(stored.constData(), stored.size());
        const qint64 range = qint64(file.virtualEnd) - file.virtualStart;
        if (declared != range) {
            return bugText(windowText("%1 would decode to %2 bytes, not the %3 of its range")
                               .arg(name(file.index, tableAddress))
                               .arg(declared)
                               .arg(range));
        }
    }
    return QString();
}

// Bytes of a file the result holds its own version of: the header checksums, and the physical
// words of the table's entries. Each is put back as the ROM has it before a file is compared.
void takeTheRomsWords(
    char *file, const FileRecord &entry, const QByteArray &rom, qint32 tableAddress, int entries)
{
    const auto take = [&](qint64 offset, qint64 length) {
        const qint64 start = std::max<qint64>(offset, entry.virtualStart);
        const qint64 end = std::min<qint64>(offset + length, entry.virtualEnd);
        if (start < end && end <= rom.size())
            std::memcpy(
                file + (start - entry.virtualStart), rom.constData() + start, size_t(end - start));
    };
    take(Checksum::crc1Offset, 8);
    const qint64 tableEnd = FileTable::entryOffset(tableAddress, entries);
    if (entry.virtualStart >= tableEnd || entry.virtualEnd <= tableAddress)
        return;
    for (int i = 0; i < entries; ++i)
        take(FileTable::entryOffset(tableAddress, i) + FileTable::physicalStartOffset, 8);
}

// A layout the plan could not foresee: too large. The table stays where the ROM has it (the plan
// saw to that), which is checked all the same: decompressing rewrites the entries at the address
// it read the table from, and a table that moved would have them written over other files.
Result layoutRefusal(
    const CompressionLayout::Extent &extent, qint32 table, qint32 tableAddress, qint64 targetSize)
{
    if (targetSize > 0 && extent.used > targetSize) {
        return refusal(Refusal::Kind::Layout,
            windowText("The files need %1 MiB; %2 MiB asked")
                .arg(double(extent.used) / (1 << 20), 0, 'f', 1)
                .arg(targetSize >> 20));
    }
    const qint64 size = targetSize > 0 ? targetSize : extent.size;
    if (size > maxImageSize) {
        return refusal(Refusal::Kind::Layout,
            windowText("The compressed ROM would be larger than %1 MiB").arg(maxImageSize >> 20));
    }
    if (table != tableAddress) {
        return refusal(Refusal::Kind::Layout,
            bugText(windowText("The file table would move from %1 to %2")
                        .arg(FileTable::addressText(tableAddress), FileTable::addressText(table))));
    }
    return Result();
}

} // namespace

void runAll(const Runner &runner, int count, const std::function<void(int index)> &task)
{
    if (!runner) {
        for (int i = 0; i < count; ++i)
            task(i);
        return;
    }
    // What a task throws (std::bad_alloc, mostly) would end the program on another thread; it is
    // thrown here instead, once all tasks are done.
    std::exception_ptr thrown;
    QMutex mutex;
    runner(count, [&](int index) {
        try {
            task(index);
        } catch (...) {
            const QMutexLocker locker(&mutex);
            if (!thrown)
                thrown = std::current_exception();
        }
    });
    if (thrown)
        std::rethrow_exception(thrown);
}

Result build(const QByteArray &rom, QByteArray original, const RomPlan::CompressionPlan &plan,
    const Runner &runner, const FilesEncoded &filesEncoded)
{
    const QVector<FileRecord> &files = plan.rom.files;
    const qint32 tableAddress = plan.rom.address;
    QVector<Piece> pieces = preparePieces(rom, original, plan, runner, filesEncoded);
    if (pieces.size() != files.size())
        return refusal(Refusal::Kind::Stopped, stoppedText());
    Result result;
    CompressionLayout::Extent extent = plan.likeOriginal
        ? CompressionLayout::placeLikeOriginal(
            pieces, original, plan.original.files, plan.tableEntry, &result.movedFiles)
        : CompressionLayout::placePacked(pieces, plan.tableEntry, files.at(plan.tableEntry));
    const qint32 table = tablePlace(files, pieces, tableAddress, plan.tableEntry);
    const Result misplaced = layoutRefusal(extent, table, tableAddress, plan.targetSize);
    if (!misplaced.ok())
        return misplaced;
    if (plan.targetSize > 0)
        extent.size = plan.targetSize;
    for (const Piece &piece : qAsConst(pieces))
        result.decodedDigests.push_back(piece.keptDigest);
    result.image = assemble(pieces, original, plan.likeOriginal, extent, result);
    writeEntries(result.image, table, files, pieces);
    pieces.clear();
    result.files = files.size();
    result.checksums = HeaderChecksums::repair(result.image);
    result.tableAddress = table;
    result.warnings = plan.warnings;
    if (plan.targetSize == 0 && result.image.size() > commonLargestRom) {
        result.warnings << windowText("The compressed ROM is %1 MiB, more than the %2 MiB that "
                                      "emulators, the Wii Virtual Console injectors and many "
                                      "flashcarts expect (--mb sets the size)")
                               .arg(double(result.image.size()) / (1 << 20), 0, 'f', 1)
                               .arg(commonLargestRom >> 20);
    }
    return result;
}

ResultCheck::ResultCheck(
    const Result &checked, const QByteArray &romBytes, const RomPlan::CompressionPlan &romPlan)
    : result(checked), rom(romBytes), plan(romPlan)
{
    // The result is decompressed as a user would: the same plan, the table searched for.
    decompression
        = RomPlan::prepare(result.image, plan.resultTable, RomPlan::lookUpOnce(result.image));
    wholeProblem = tableSearchProblem(decompression, result.tableAddress);
    if (wholeProblem.isEmpty() && !decompression.ok()) {
        wholeProblem = bugText(windowText("Decompressing the compressed ROM would be refused: %1")
                                   .arg(decompression.refusal.text));
    }
    if (wholeProblem.isEmpty() && decompression.files.size() != plan.rom.files.size()) {
        wholeProblem = bugText(windowText("The compressed ROM's file table lists %1 files, not %2")
                                   .arg(decompression.files.size())
                                   .arg(plan.rom.files.size()));
    }
    if (wholeProblem.isEmpty()) {
        wholeProblem
            = fileThatDecodesPastItsRange(result.image, decompression.files, result.tableAddress);
    }
    fileProblems.resize(size_t(files()));
}

void ResultCheck::checkFile(int index)
{
    const FileRecord &wanted = plan.rom.files.at(index);
    const FileRecord &stored = decompression.files.at(index);
    if (!FileTable::hasBytes(wanted))
        return;
    const qint32 tableAddress = plan.rom.address;
    const qint64 length = qint64(wanted.virtualEnd) - wanted.virtualStart;
    if (stored.virtualStart != wanted.virtualStart || stored.virtualEnd != wanted.virtualEnd
        || !FileTable::hasBytes(stored)) {
        fileProblems[size_t(index)]
            = bugText(windowText("%1 is missing from the decompressed result")
                          .arg(name(index, tableAddress)));
        return;
    }
    // Stored bytes the same as those that were decoded and found to be the ROM's file, before
    // they went into the image, come back: decoding them again would say nothing new.
    const quint64 decoded
        = result.decodedDigests.size() > size_t(index) ? result.decodedDigests[size_t(index)] : 0;
    if (decoded != 0 && FileTable::isCompressed(stored)
        && DecompressionPass::storedInside(result.image, stored)) {
        const qint64 storedLength = DecompressionPass::storedLength(stored);
        if (Digest::of(result.image.constData() + stored.physicalStart, storedLength) == decoded)
            return;
    }
    char *const file = DecodeScratch::forBytes(length + Yaz0::outputSlack);
    qint64 produced = 0;
    if (FileTable::isCompressed(stored)) {
        produced = DecompressionPass::decodeFile(
            result.image, stored, decompression.codecs.of(index), file);
    } else {
        const QByteArray bytes = DecompressionPass::storedBytes(result.image, stored);
        produced = bytes.size();
        if (produced > 0)
            std::memcpy(file, bytes.constData(), size_t(std::min(produced, length)));
    }
    if (produced != length) {
        fileProblems[size_t(index)]
            = bugText(windowText("%1 decompresses to %2 bytes, not the %3 of its "
                                 "range")
                          .arg(name(index, tableAddress))
                          .arg(produced)
                          .arg(length));
        return;
    }
    takeTheRomsWords(file, wanted, rom, tableAddress, plan.rom.files.size());
    const char *const romFile = rom.constData() + wanted.virtualStart;
    if (std::memcmp(file, romFile, size_t(length)) == 0)
        return;
    const qint64 at = std::mismatch(file, file + length, romFile).first - file;
    fileProblems[size_t(index)]
        = bugText(windowText("%1 does not decompress to what the ROM holds (byte "
                             "%2 of the file differs)")
                      .arg(name(index, tableAddress))
                      .arg(at));
}

QString ResultCheck::verdict() const
{
    if (!wholeProblem.isEmpty())
        return wholeProblem;
    for (const QString &problem : fileProblems) {
        if (!problem.isEmpty())
            return problem;
    }
    return QString();
}

QString check(const Result &result, const QByteArray &rom, const RomPlan::CompressionPlan &plan,
    const Runner &runner)
{
    ResultCheck checker(result, rom, plan);
    runAll(runner, checker.files(), [&checker](int index) { checker.checkFile(index); });
    return checker.verdict();
}

Result compress(const QByteArray &rom, QByteArray original, const RomPlan::CompressionPlan &plan,
    const Runner &runner)
{
    Result result = build(rom, std::move(original), plan, runner);
    if (result.ok()) {
        const QString wrong = check(result, rom, plan, runner);
        if (!wrong.isEmpty())
            return refusal(Refusal::Kind::Result, wrong);
    }
    return result;
}

} // namespace CompressionJob
