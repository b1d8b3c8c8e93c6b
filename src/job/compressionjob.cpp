#include "compressionjob.h"

#include "windowtext.h"

#include "bigendian.h"
#include "checksum.h"
#include "decompressionjob.h"
#include "decompressionpass.h"
#include "filetable.h"
#include "imagebuffer.h"
#include "passplan.h"
#include "yaz0matchingencoder.h"

#include <QAtomicInt>
#include <QMutex>

#include <algorithm>
#include <cstring>
#include <exception>
#include <utility>

namespace CompressionJob {

namespace {

enum class Storage { Absent, Plain, Compressed };

// One file of the table on its way into the compressed ROM.
struct Piece
{
    Storage storage = Storage::Absent;
    QByteArray stored; // the bytes written: a Yaz0 file padded to 16, or the file as it is
    qint64 place = -1;

    // What the file takes up in a ROM: a stored file rounds up to 16 bytes.
    qint64 room() const { return storage == Storage::Plain ? align(stored.size()) : stored.size(); }
    static qint64 align(qint64 bytes) { return (bytes + 15) / 16 * 16; }
};

constexpr qint64 sizeGranule = 1 << 20;
// Twice what a decompressed ROM holds, for tools that leave files overlapping a little.
constexpr qint64 maxFileBytes = 2 * maxImageSize;

qint64 roundUpToGranule(qint64 bytes)
{
    return std::max<qint64>(sizeGranule, (bytes + sizeGranule - 1) / sizeGranule * sizeGranule);
}

Result refusal(const QString &reason)
{
    Result result;
    result.error = reason;
    return result;
}

QString entryText(int index, qint32 tableAddress)
{
    return windowText("Entry %1 of the file table at %2")
        .arg(index)
        .arg(FileTable::addressText(tableAddress));
}

bool isListed(const QVector<IndexRange> &ranges, int index)
{
    return std::any_of(ranges.cbegin(), ranges.cend(),
        [index](const IndexRange &range) { return range.first <= index && index <= range.last; });
}

Storage storageFor(
    const FileRecord &file, const Layout &layout, const QVector<FileRecord> &originalFiles)
{
    if (file.physicalEnd == FileTable::absentFile)
        return Storage::Absent;
    if (!layout.likeOriginal)
        return isListed(layout.compressedFiles, file.index) ? Storage::Compressed : Storage::Plain;
    if (file.index >= originalFiles.size())
        return Storage::Compressed;
    const FileRecord &original = originalFiles.at(file.index);
    if (original.physicalEnd == FileTable::absentFile)
        return Storage::Absent;
    return FileTable::isCompressed(original) ? Storage::Compressed : Storage::Plain;
}

// What an entry takes up in the original, or -1 when the original has no bytes for it.
qint64 originalRoom(const QVector<FileRecord> &originalFiles, int index)
{
    if (index >= originalFiles.size())
        return -1;
    const FileRecord &file = originalFiles.at(index);
    if (file.physicalEnd == FileTable::absentFile)
        return -1;
    if (FileTable::isCompressed(file))
        return qint64(file.physicalEnd) - file.physicalStart;
    return Piece::align(qint64(file.virtualEnd) - file.virtualStart);
}

void encode(Piece &piece, const QByteArray &rom, const FileRecord &file)
{
    const QByteArray content = QByteArray::fromRawData(
        rom.constData() + file.virtualStart, file.virtualEnd - file.virtualStart);
    if (piece.storage == Storage::Plain) {
        piece.stored = content; // a view of the ROM, not a copy
    } else if (piece.storage == Storage::Compressed) {
        piece.stored = Yaz0MatchingEncoder::encodeFile(content);
        piece.stored.append(
            QByteArray(int(Piece::align(piece.stored.size()) - piece.stored.size()), '\0'));
    }
}

// Files keep the original's places where they still fit; the others follow the last byte in use.
// Returns the size the image needs.
qint64 placeLikeOriginal(QVector<Piece> &pieces, const QVector<FileRecord> &originalFiles,
    qint64 originalSize, int *moved)
{
    qint64 lastUsed = 0;
    for (int i = 0; i < originalFiles.size(); ++i) {
        const qint64 room = originalRoom(originalFiles, i);
        if (room >= 0)
            lastUsed = std::max(lastUsed, qint64(originalFiles.at(i).physicalStart) + room);
    }
    QVector<int> movers;
    for (int i = 0; i < pieces.size(); ++i) {
        Piece &piece = pieces[i];
        if (piece.storage == Storage::Absent)
            continue;
        const qint64 room = originalRoom(originalFiles, i);
        if (room >= 0 && piece.room() <= room) {
            piece.place = originalFiles.at(i).physicalStart;
            lastUsed = std::max(lastUsed, piece.place + piece.room());
        } else {
            movers << i;
        }
    }
    qint64 cursor = Piece::align(lastUsed);
    for (const int i : qAsConst(movers)) {
        pieces[i].place = cursor;
        cursor = Piece::align(cursor + pieces[i].room());
    }
    *moved = movers.size();
    const qint64 needed = std::max(lastUsed, cursor);
    return needed <= originalSize ? originalSize : roundUpToGranule(needed);
}

qint64 placePacked(QVector<Piece> &pieces)
{
    qint64 cursor = 0;
    for (Piece &piece : pieces) {
        if (piece.storage == Storage::Absent)
            continue;
        piece.place = Piece::align(cursor);
        cursor = piece.place + piece.stored.size();
    }
    return roundUpToGranule(cursor);
}

// Where the table stands in the new image: inside the stored file that holds it.
qint32 tablePlace(const QVector<FileRecord> &files, const QVector<Piece> &pieces,
    qint32 tableAddress, bool likeOriginal)
{
    for (int i = 0; i < files.size(); ++i) {
        const FileRecord &file = files.at(i);
        if (file.virtualStart <= tableAddress && tableAddress < file.virtualEnd
            && pieces.at(i).storage == Storage::Plain)
            return qint32(pieces.at(i).place + (tableAddress - file.virtualStart));
    }
    return likeOriginal ? tableAddress : -1;
}

void writeEntries(
    QByteArray &image, qint32 at, const QVector<FileRecord> &files, const QVector<Piece> &pieces)
{
    for (int i = 0; i < files.size(); ++i) {
        const qint64 entry = qint64(at) + FileTable::entrySize * i;
        const Piece &piece = pieces.at(i);
        const bool absent = piece.storage == Storage::Absent;
        const bool compressed = piece.storage == Storage::Compressed;
        BigEndian::writeWord(image, entry, quint32(files.at(i).virtualStart));
        BigEndian::writeWord(image, entry + 4, quint32(files.at(i).virtualEnd));
        BigEndian::writeWord(
            image, entry + 8, absent ? quint32(FileTable::absentFile) : quint32(piece.place));
        BigEndian::writeWord(image, entry + 12,
            absent           ? quint32(FileTable::absentFile)
                : compressed ? quint32(piece.place + piece.stored.size())
                             : 0u);
    }
}

// Decompresses the result with the program's own pass; every file must come back as it was.
// Returns the first entry that does not, or -1.
int firstFileThatDoesNotComeBack(const QByteArray &image, qint32 tableAddress,
    const QByteArray &rom, const QVector<FileRecord> &files)
{
    const PassPlan::Plan plan
        = PassPlan::make(image, DecompressionPass::outputImageSize, tableAddress);
    if (!plan.refusal.isEmpty() || plan.files.size() != files.size())
        return 0;
    ZeroPagedImage decompressed(DecompressionPass::outputImageSize);
    DecompressionJob::runPass(image, decompressed, plan);
    // The header checksums are the compressed image's, not the decompressed one's.
    if (decompressed.size() >= Checksum::crc2Offset + 4 && rom.size() >= Checksum::crc2Offset + 4) {
        std::memcpy(
            decompressed.data() + Checksum::crc1Offset, rom.constData() + Checksum::crc1Offset, 8);
    }
    for (const FileRecord &file : files) {
        if (file.physicalEnd == FileTable::absentFile)
            continue;
        const qint64 length = qint64(file.virtualEnd) - file.virtualStart;
        if (file.virtualEnd > decompressed.size()
            || std::memcmp(decompressed.constData() + file.virtualStart,
                   rom.constData() + file.virtualStart, size_t(length))
                != 0)
            return file.index;
    }
    return -1;
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

Result build(const QByteArray &rom, qint32 tableAddress, Layout layout, const Runner &runner,
    const FilesEncoded &filesEncoded)
{
    const QVector<FileRecord> files = FileTable::read(rom, tableAddress);
    const QString problem = PassPlan::refusal(rom, maxImageSize, tableAddress, files);
    if (!problem.isEmpty())
        return refusal(problem);
    qint64 fileBytes = 0;
    for (const FileRecord &file : files) {
        if (FileTable::isCompressed(file)) {
            return refusal(windowText("%1 is stored compressed: only a decompressed ROM can be "
                                      "compressed")
                               .arg(entryText(file.index, tableAddress)));
        }
        if (file.physicalEnd != FileTable::absentFile && file.virtualEnd > rom.size()) {
            return refusal(windowText("%1 lies past the end of the ROM")
                               .arg(entryText(file.index, tableAddress)));
        }
        if (file.physicalEnd != FileTable::absentFile)
            fileBytes += qint64(file.virtualEnd) - file.virtualStart;
    }
    // Files of a decompressed ROM lie side by side in at most 64 MiB. A table whose files overlap
    // many times over would cost encoding time and memory for each time.
    if (fileBytes > maxFileBytes) {
        return refusal(windowText("The files of the table at %1 add up to more than %2 MiB, more "
                                  "than a decompressed ROM holds")
                           .arg(FileTable::addressText(tableAddress))
                           .arg(maxFileBytes >> 20));
    }
    QVector<FileRecord> originalFiles;
    if (layout.likeOriginal) {
        originalFiles = FileTable::read(layout.original, tableAddress);
        if (originalFiles.isEmpty()
            || !FileTable::startsWithExpectedEntry(layout.original, tableAddress)) {
            return refusal(windowText("The original ROM has no file table at %1")
                               .arg(FileTable::addressText(tableAddress)));
        }
    }

    QVector<Piece> pieces(files.size());
    for (int i = 0; i < files.size(); ++i)
        pieces[i].storage = storageFor(files.at(i), layout, originalFiles);
    Piece *const each = pieces.data(); // detached once, before any thread writes to it
    QAtomicInt encoded = 0;
    runAll(runner, files.size(), [&](int i) {
        encode(each[i], rom, files.at(i));
        const int done = encoded.fetchAndAddOrdered(1) + 1;
        if (filesEncoded)
            filesEncoded(done, files.size());
    });

    Result result;
    const qint64 size = layout.likeOriginal
        ? placeLikeOriginal(pieces, originalFiles, layout.original.size(), &result.movedFiles)
        : placePacked(pieces);
    if (size > maxImageSize) {
        return refusal(
            windowText("The compressed ROM would be larger than %1 MiB").arg(maxImageSize >> 20));
    }
    const qint32 table = tablePlace(files, pieces, tableAddress, layout.likeOriginal);
    if (table < 0) {
        return refusal(windowText("No stored file holds the file table at %1")
                           .arg(FileTable::addressText(tableAddress)));
    }

    result.image = layout.likeOriginal ? std::move(layout.original) : QByteArray(int(size), '\0');
    if (result.image.size() < size)
        result.image.append(QByteArray(int(size - result.image.size()), '\0'));
    char *out = result.image.data();
    for (Piece &piece : pieces) {
        if (piece.storage == Storage::Absent)
            continue;
        if (!piece.stored.isEmpty())
            std::memcpy(out + piece.place, piece.stored.constData(), size_t(piece.stored.size()));
        ++result.files;
        if (piece.storage == Storage::Compressed)
            ++result.compressedFiles;
    }
    writeEntries(result.image, table, files, pieces);
    pieces.clear();
    result.checksums = HeaderChecksums::repair(result.image);
    result.tableAddress = table;
    return result;
}

QString check(const Result &result, const QByteArray &rom, qint32 tableAddress)
{
    const int wrong = firstFileThatDoesNotComeBack(
        result.image, result.tableAddress, rom, FileTable::read(rom, tableAddress));
    if (wrong < 0)
        return QString();
    return windowText("%1 does not decompress to what the ROM holds; this is a bug in Tidepool, "
                      "and nothing was written")
        .arg(entryText(wrong, tableAddress));
}

Result compress(const QByteArray &rom, qint32 tableAddress, Layout layout, const Runner &runner)
{
    Result result = build(rom, tableAddress, std::move(layout), runner);
    if (result.ok()) {
        const QString wrong = check(result, rom, tableAddress);
        if (!wrong.isEmpty())
            return refusal(wrong);
    }
    return result;
}

} // namespace CompressionJob
