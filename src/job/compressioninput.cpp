#include "compressioninput.h"

#include "windowtext.h"

#include "decompressionpass.h"
#include "passplan.h"
#include "yaz0.h"

#include <algorithm>

namespace CompressionInput {

namespace {

using DecompressionPass::storedLength;

QString tooManyFiles(qint32 tableAddress)
{
    return windowText("The file table at %1 lists more than %2 files, far more than any game has")
        .arg(FileTable::addressText(tableAddress))
        .arg(FileTable::maxFiles);
}

// A file that a decompression would still decode: the ROM was never decompressed.
bool isYaz0File(const QByteArray &rom, const FileRecord &file)
{
    if (!FileTable::isCompressed(file))
        return false;
    const QByteArray stored = DecompressionPass::storedBytes(rom, file);
    return Yaz0::hasMagic(stored.constData(), stored.size())
        && Yaz0::declaredSize(stored.constData(), stored.size())
        == qint64(file.virtualEnd) - file.virtualStart;
}

QString stillCompressed(int index, qint32 tableAddress, const QString &codec)
{
    return windowText("This ROM is still compressed (entry %1 of the file table at %2 is a %3 "
                      "file): decompress it first")
        .arg(index)
        .arg(FileTable::addressText(tableAddress), codec);
}

QString stillCompressedProblem(
    const QByteArray &rom, qint32 tableAddress, const QVector<FileRecord> &files)
{
    for (const FileRecord &file : files) {
        if (isYaz0File(rom, file))
            return stillCompressed(file.index, tableAddress, QStringLiteral("Yaz0"));
    }
    // A DEFLATE ROM is told by its first compressed file, which inflates cleanly to its range.
    if (PassPlan::codecFor(rom, files) == DecompressionPass::Codec::Deflate) {
        const auto first = std::find_if(files.cbegin(), files.cend(), FileTable::isCompressed);
        return stillCompressed(first->index, tableAddress, QStringLiteral("DEFLATE"));
    }
    return QString();
}

// Stored bytes of two entries that overlap: a damaged table, since a file placed there would
// overwrite its neighbour's stream. Files past the end of the original are not placed by it.
QString overlappingStoredFiles(
    const QByteArray &original, qint32 tableAddress, const QVector<FileRecord> &files)
{
    QVector<const FileRecord *> stored;
    for (const FileRecord &file : files) {
        if (file.physicalEnd != FileTable::absentFile && storedLength(file) > 0
            && storedInside(original, file))
            stored << &file;
    }
    std::sort(stored.begin(), stored.end(), [](const FileRecord *a, const FileRecord *b) {
        return a->physicalStart != b->physicalStart ? a->physicalStart < b->physicalStart
                                                    : a->index < b->index;
    });
    for (int i = 1; i < stored.size(); ++i) {
        const FileRecord &before = *stored.at(i - 1);
        const FileRecord &file = *stored.at(i);
        if (before.physicalStart + storedLength(before) > file.physicalStart) {
            return windowText("ORIGINAL: %1 stores its bytes at %2, inside those of entry %3 "
                              "(%4 to %5): its table is damaged")
                .arg(
                    entryText(file.index, tableAddress), FileTable::addressText(file.physicalStart))
                .arg(before.index)
                .arg(FileTable::addressText(before.physicalStart),
                    FileTable::addressText(qint32(before.physicalStart + storedLength(before))));
        }
    }
    return QString();
}

} // namespace

bool hasBytes(const FileRecord &file)
{
    return file.physicalEnd != FileTable::absentFile;
}

FileRecord asStored(const FileRecord &file)
{
    FileRecord stored = file;
    stored.physicalStart = file.virtualStart;
    stored.physicalEnd = FileTable::uncompressedFile;
    return stored;
}

QString entryText(int index, qint32 tableAddress)
{
    return windowText("Entry %1 of the file table at %2")
        .arg(index)
        .arg(FileTable::addressText(tableAddress));
}

bool storedInside(const QByteArray &original, const FileRecord &file)
{
    const qint64 length = DecompressionPass::storedLength(file);
    return file.physicalStart >= 0 && length >= 0 && file.physicalStart + length <= original.size();
}

QString romProblem(const QByteArray &rom, qint32 tableAddress, const QVector<FileRecord> &files)
{
    if (files.isEmpty()) {
        return windowText("The file table at %1 lists no files, so there is nothing to compress")
            .arg(FileTable::addressText(tableAddress));
    }
    if (files.size() > FileTable::maxFiles)
        return tooManyFiles(tableAddress);
    const QString problem = fileProblem(rom, tableAddress, files);
    if (!problem.isEmpty())
        return problem;
    const int holder = tableEntry(files, tableAddress);
    if (holder < 0
        || FileTable::entryOffset(tableAddress, files.size()) > files.at(holder).virtualEnd) {
        return windowText("The file table at %1 does not lie inside one of its files")
            .arg(FileTable::addressText(tableAddress));
    }
    return QString();
}

QString fileProblem(const QByteArray &rom, qint32 tableAddress, const QVector<FileRecord> &files)
{
    qint64 fileBytes = 0;
    for (const FileRecord &file : files) {
        if (!hasBytes(file))
            continue;
        const QString fault = PassPlan::entryFault(
            rom, tableAddress, asStored(file), DecompressionPass::Codec::Yaz0);
        if (!fault.isEmpty())
            return fault;
        if (file.virtualEnd > rom.size()) {
            return windowText("%1 lies past the end of the ROM, which is %2 bytes long (it looks "
                              "cut off)")
                .arg(entryText(file.index, tableAddress))
                .arg(rom.size());
        }
        fileBytes += qint64(file.virtualEnd) - file.virtualStart;
    }
    if (fileBytes > maxFileBytes) {
        return windowText("The files of the table at %1 add up to more than %2 MiB, more "
                          "than a decompressed ROM holds")
            .arg(FileTable::addressText(tableAddress))
            .arg(maxFileBytes >> 20);
    }
    return stillCompressedProblem(rom, tableAddress, files);
}

QString originalProblem(
    const QByteArray &original, qint32 tableAddress, const QVector<FileRecord> &originalFiles)
{
    if (originalFiles.isEmpty() || !FileTable::startsWithExpectedEntry(original, tableAddress)) {
        return windowText("ORIGINAL has no file table at %1, where the ROM has its own")
            .arg(FileTable::addressText(tableAddress));
    }
    if (originalFiles.size() > FileTable::maxFiles)
        return windowText("ORIGINAL: %1").arg(tooManyFiles(tableAddress));
    if (PassPlan::codecFor(original, originalFiles) == DecompressionPass::Codec::Deflate)
        return windowText("ORIGINAL stores its files with DEFLATE (iQue Player); compress writes "
                          "Yaz0 only");
    for (const FileRecord &file : originalFiles) {
        const QString fault
            = PassPlan::entryFault(original, tableAddress, file, DecompressionPass::Codec::Yaz0);
        if (!fault.isEmpty())
            return windowText("ORIGINAL: %1").arg(fault);
    }
    return overlappingStoredFiles(original, tableAddress, originalFiles);
}

QStringList originalWarnings(const QByteArray &original, const QVector<FileRecord> &originalFiles)
{
    QStringList warnings;
    const int past = DecompressionPass::filesPastTheEnd(original, originalFiles);
    if (past > 0) {
        warnings << windowText("ORIGINAL looks cut off: %1 files lie past its end, and are placed "
                               "after the last byte in use")
                        .arg(past);
    }
    return warnings;
}

int tableEntry(const QVector<FileRecord> &files, qint32 tableAddress)
{
    for (const FileRecord &file : files) {
        if (hasBytes(file) && file.virtualStart <= tableAddress && tableAddress < file.virtualEnd)
            return file.index;
    }
    return -1;
}

bool isListed(const QVector<IndexRange> &ranges, int index)
{
    return std::any_of(ranges.cbegin(), ranges.cend(),
        [index](const IndexRange &range) { return range.first <= index && index <= range.last; });
}

QString resolveRanges(QVector<IndexRange> &ranges, const QVector<FileRecord> &files,
    qint32 tableAddress, int tableEntry)
{
    const int last = files.size() - 1;
    const auto text = [](int index) {
        return index == lastEntry ? QStringLiteral("END") : QString::number(index);
    };
    for (IndexRange &range : ranges) {
        const QString named = range.first == range.last
            ? text(range.first)
            : text(range.first) + '-' + text(range.last);
        const int first = range.first == lastEntry ? last : range.first;
        if (first > last || first < 0) {
            return windowText("%1 names no entry: the file table at %2 has entries 0 to %3")
                .arg(named, FileTable::addressText(tableAddress))
                .arg(last);
        }
        range = {first, std::min(range.last, last)};
    }
    const int header = 0;
    for (const int kept : {header, tableEntry}) {
        if (kept < 0 || !isListed(ranges, kept))
            continue;
        return windowText("Entry %1 holds %2 and must stay stored: leave it out of the files to "
                          "compress")
            .arg(kept)
            .arg(kept == header ? windowText("the ROM's header and boot code")
                                : windowText("the file table"));
    }
    return QString();
}

} // namespace CompressionInput
