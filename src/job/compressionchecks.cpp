// The decisions of the way back's plan: whether the decompressed ROM, the original compressed ROM
// and the files named for compression can be used, each checked before a single file is encoded,
// in words that name the input and the entry.
#include "planchecks.h"

#include "windowtext.h"

#include "entrytext.h"
#include "romimage.h"
#include "yaz0.h"

#include <algorithm>
#include <utility>

namespace RomPlan {
namespace Checks {

namespace {

using DecompressionPass::Codec;
using DecompressionPass::storedLength;

// Files of a decompressed ROM lie side by side in at most 64 MiB; twice that allows for tools
// that leave files overlapping a little. A table whose files overlap many times over would cost
// encoding time and memory for each time.
constexpr qint64 maxFileBytes = qint64(2) * RomImage::decompressedSize;

Refusal romTable(const QString &text)
{
    return Refusal::of(Refusal::Kind::Table, text);
}

// The entry as the files of a decompressed ROM are read: stored as it is at its virtual start. Its
// physical words are leftovers of the original (the pass rewrites them, but the table's own file
// is laid over the rewrites of the entries before it), so only the absent mark is believed.
FileRecord asStored(const FileRecord &file)
{
    FileRecord stored = file;
    stored.physicalStart = file.virtualStart;
    stored.physicalEnd = FileTable::uncompressedFile;
    return stored;
}

// The codec of a file that a decompression would still decode (the ROM was never
// decompressed): its stored bytes are a Yaz0 file or a hack codec's that declares its range's
// size. Returns false for any other.
bool stillCompressedFile(const QByteArray &rom, const FileRecord &file, Codec *codec)
{
    if (!FileTable::isCompressed(file))
        return false;
    const QByteArray stored = DecompressionPass::storedBytes(rom, file);
    *codec = CodecFile::fromMagic(stored.constData(), stored.size());
    const bool magic
        = CodecFile::isHackCodec(*codec) || Yaz0::hasMagic(stored.constData(), stored.size());
    // Every magic is followed by the declared size, as in a Yaz0 file.
    return magic
        && Yaz0::declaredSize(stored.constData(), stored.size())
        == qint64(file.virtualEnd) - file.virtualStart;
}

QString stillCompressed(int index, qint32 address, Codec codec)
{
    return windowText("This ROM is still compressed (entry %1 of %2 is %3 file): decompress it "
                      "first")
        .arg(index)
        .arg(EntryText::table(address), CodecFile::withArticle(codec));
}

QString stillCompressedProblem(
    const QByteArray &rom, qint32 address, const QVector<FileRecord> &files)
{
    Codec codec = Codec::Yaz0;
    for (const FileRecord &file : files) {
        if (stillCompressedFile(rom, file, &codec))
            return stillCompressed(file.index, address, codec);
    }
    // A DEFLATE ROM is told by its first compressed file, which inflates cleanly to its range.
    if (codecOf(rom, files, KnownDumpLookup()).codecs.romWide == Codec::Deflate) {
        const auto first = std::find_if(files.cbegin(), files.cend(), FileTable::isCompressed);
        return stillCompressed(first->index, address, Codec::Deflate);
    }
    return QString();
}

// Sound virtual ranges inside the ROM, not more than maxFileBytes of files in all.
QString fileProblem(const QByteArray &rom, qint32 address, const QVector<FileRecord> &files)
{
    qint64 fileBytes = 0;
    for (const FileRecord &file : files) {
        if (!FileTable::hasBytes(file))
            continue;
        // The entry is judged as stored, but quoted as the table has it.
        const DecompressionPass::Problem problem
            = DecompressionPass::problemOf(rom, asStored(file), Codec::Yaz0);
        if (problem != DecompressionPass::Problem::None)
            return EntryText::statement(file, address, problemText(problem));
        if (file.virtualEnd > rom.size()) {
            return windowText("%1 lies past the end of the ROM, which is %2 bytes long (it looks "
                              "cut off)")
                .arg(EntryText::name(file.index, address))
                .arg(rom.size());
        }
        fileBytes += qint64(file.virtualEnd) - file.virtualStart;
    }
    if (fileBytes > maxFileBytes) {
        return windowText("The files of the table at %1 add up to more than %2 MiB, more "
                          "than a decompressed ROM holds")
            .arg(FileTable::addressText(address))
            .arg(maxFileBytes >> 20);
    }
    return QString();
}

// Stored bytes of two entries that overlap: a damaged table, since a file placed there would
// overwrite its neighbour's stream. Files past the end of the original are not placed by it.
QString overlappingStoredFiles(const QByteArray &original, qint32 address,
    const QVector<FileRecord> &files, const QString &name)
{
    QVector<const FileRecord *> stored;
    for (const FileRecord &file : files) {
        if (FileTable::hasBytes(file) && storedLength(file) > 0
            && DecompressionPass::storedInside(original, file))
            stored << &file;
    }
    std::sort(stored.begin(), stored.end(), [](const FileRecord *a, const FileRecord *b) {
        return a->physicalStart != b->physicalStart ? a->physicalStart < b->physicalStart
                                                    : a->index < b->index;
    });
    for (int i = 1; i < stored.size(); ++i) {
        const FileRecord &before = *stored.at(i - 1);
        const FileRecord &file = *stored.at(i);
        const qint64 beforeEnd = before.physicalStart + storedLength(before);
        if (beforeEnd > file.physicalStart) {
            return windowText("%1: %2 stores its bytes at %3, inside those of entry %4 (%5 to %6): "
                              "its table is damaged")
                .arg(name, EntryText::name(file.index, address),
                    FileTable::addressText(file.physicalStart))
                .arg(before.index)
                .arg(FileTable::addressText(before.physicalStart),
                    FileTable::addressText(qint32(beforeEnd)));
        }
    }
    return QString();
}

// The table stays where the ROM has it only when the original stores the file that holds it as
// it is, at the place where the ROM has that file: the pass rewrites the entries at the address
// it read the table from, so a table that moved would have them written over other files.
QString tableFileProblem(const QByteArray &original, qint32 address,
    const QVector<FileRecord> &files, const FileRecord &tableFile, const QString &name)
{
    const FileRecord stored = files.value(tableFile.index);
    if (tableFile.index >= files.size() || stored.physicalEnd != FileTable::uncompressedFile
        || !DecompressionPass::storedInside(original, stored)) {
        return windowText("%1 does not store entry %2, the file that holds the file table, as "
                          "it is, so the table could not stay at %3")
            .arg(name)
            .arg(tableFile.index)
            .arg(FileTable::addressText(address));
    }
    if (stored.physicalStart != tableFile.virtualStart) {
        const qint64 storedTable
            = qint64(stored.physicalStart) + (address - tableFile.virtualStart);
        return windowText("%1 stores the file table at %2, not at %3 where the ROM has it")
            .arg(
                name, FileTable::addressText(qint32(storedTable)), FileTable::addressText(address));
    }
    return QString();
}

} // namespace

Refusal romRefusal(const QByteArray &rom, qint32 address, const QVector<FileRecord> &files)
{
    if (files.isEmpty()) {
        return romTable(
            windowText("The file table at %1 lists no files, so there is nothing to compress")
                .arg(FileTable::addressText(address)));
    }
    if (files.size() > FileTable::maxFiles)
        return romTable(tooManyFilesText(address));
    // Handing over the compressed ROM is the most common mistake: said first, whatever else the
    // table's virtual ranges would say of it.
    QString problem = stillCompressedProblem(rom, address, files);
    if (problem.isEmpty() && !FileTable::endMarkInside(rom, address, files))
        problem = tableCutOffText(rom, address, files.size());
    if (problem.isEmpty())
        problem = fileProblem(rom, address, files);
    if (!problem.isEmpty())
        return romTable(problem);
    const int holder = FileTable::entryHolding(files, address);
    if (holder < 0 || FileTable::entryOffset(address, files.size()) > files.at(holder).virtualEnd) {
        return romTable(windowText("The file table at %1 does not lie inside one of its files")
                            .arg(FileTable::addressText(address)));
    }
    return Refusal();
}

Refusal originalRefusal(const QByteArray &original, qint32 address,
    const QVector<FileRecord> &files, const DecompressionPass::FileCodecs &codecs,
    const FileRecord &tableFile, const QString &name)
{
    const auto refusal = [](const QString &text) {
        return Refusal::of(Refusal::Kind::Table, text, Refusal::Input::Original);
    };
    if (files.isEmpty() || !FileTable::startsWithExpectedEntry(original, address)) {
        return refusal(windowText("%1 has no file table at %2, where the ROM has its own")
                           .arg(name, FileTable::addressText(address)));
    }
    if (files.size() > FileTable::maxFiles)
        return refusal(windowText("%1: %2").arg(name, tooManyFilesText(address)));
    if (std::none_of(files.cbegin(), files.cend(), FileTable::isCompressed))
        return refusal(windowText("%1 has no compressed file: it is no compressed ROM").arg(name));
    if (codecs.romWide == Codec::Deflate) {
        return refusal(windowText("%1 stores its files with DEFLATE (iQue Player); compress "
                                  "writes Yaz0 only")
                           .arg(name));
    }
    for (int position = 0; position < files.size(); ++position) {
        const FileRecord &file = files.at(position);
        const DecompressionPass::Problem problem
            = DecompressionPass::problemOf(original, file, codecs.of(position));
        if (problem == DecompressionPass::Problem::None)
            continue;
        return refusal(windowText("%1: %2").arg(
            name, EntryText::statement(file, address, problemText(problem))));
    }
    QString problem = overlappingStoredFiles(original, address, files, name);
    if (problem.isEmpty())
        problem = tableFileProblem(original, address, files, tableFile, name);
    return problem.isEmpty() ? Refusal() : refusal(problem);
}

QStringList originalWarnings(
    const QByteArray &original, const QVector<FileRecord> &files, const QString &name)
{
    QStringList warnings;
    const int past = DecompressionPass::filesPastTheEnd(original, files);
    if (past > 0) {
        warnings << windowText("%1 looks cut off: %2 files lie past its end, and are placed "
                               "after the last byte in use")
                        .arg(name)
                        .arg(past);
    }
    return warnings;
}

Refusal rangesRefusal(QVector<IndexRange> &ranges, const QVector<FileRecord> &files, qint32 address,
    const KeptEntries &kept)
{
    const auto refusal
        = [](const QString &text) { return Refusal::of(Refusal::Kind::Ranges, text); };
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
            return refusal(windowText("%1 names no entry: %2 has entries 0 to %3")
                               .arg(named, EntryText::table(address))
                               .arg(last));
        }
        range = {first, std::min(range.last, last)};
    }
    const int header = 0;
    const std::pair<int, QString> stored[] = {
        {header, windowText("the ROM's header and boot code")},
        {kept.table, windowText("the file table")},
        {kept.buildString, windowText("the build string that leads to the file table")},
    };
    for (const auto &entry : stored) {
        if (entry.first < 0 || !isListed(ranges, entry.first))
            continue;
        return refusal(windowText("Entry %1 holds %2 and must stay stored: leave it out of the "
                                  "files to compress")
                           .arg(entry.first)
                           .arg(entry.second));
    }
    return Refusal();
}

} // namespace Checks
} // namespace RomPlan
