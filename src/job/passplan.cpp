#include "passplan.h"

#include "windowtext.h"

#include "decompressionpass.h"
#include "deflate.h"
#include "gamepresets.h"
#include "yaz0.h"

#include <algorithm>

namespace PassPlan {

namespace {

QString entryText(const FileRecord &file)
{
    return QStringLiteral("%1 %2 %3 %4")
        .arg(FileTable::addressText(file.virtualStart), FileTable::addressText(file.virtualEnd),
            FileTable::addressText(file.physicalStart), FileTable::addressText(file.physicalEnd));
}

QString entryProblem(DecompressionPass::Problem problem)
{
    using DecompressionPass::Problem;
    switch (problem) {
    case Problem::NegativeAddress:
        return windowText("holds a negative address");
    case Problem::InvertedRange:
        return windowText("ends before it starts");
    case Problem::DeclaredSizeTooLarge:
        return windowText("is a compressed file of more than %1 MiB")
            .arg(Yaz0::maxDeclaredSize >> 20);
    case Problem::OutputTooLarge:
        return windowText("would grow the decompressed ROM past %1 MiB")
            .arg(DecompressionPass::maxOutputSize >> 20);
    case Problem::TooManyFiles:
    case Problem::TooMuchWork:
    case Problem::None:
        break;
    }
    return QString();
}

QString deflateProblem(Deflate::Outcome outcome)
{
    switch (outcome) {
    case Deflate::Outcome::Corrupt:
        return windowText("is a DEFLATE stream that is corrupt or ends early");
    case Deflate::Outcome::TooShort:
        return windowText("is a DEFLATE stream that decodes to fewer bytes than its range");
    case Deflate::Outcome::TooLong:
        return windowText("is a DEFLATE stream that decodes to more bytes than its range");
    case Deflate::Outcome::Decoded:
        break;
    }
    return QString();
}

QString entryStatement(const FileRecord &file, qint32 address, const QString &problem)
{
    return windowText("Entry %1 of the file table at %2 (%3) %4.")
        .arg(file.index)
        .arg(FileTable::addressText(address), entryText(file), problem);
}

QString entryRefusal(const FileRecord &file, qint32 address, const QString &problem)
{
    return entryStatement(file, address, problem) + windowText("\nNothing was decompressed.");
}

// A DEFLATE file is decoded whole or not at all, so every one is decoded once before the pass.
QString firstBadDeflateFile(const QByteArray &rom, qint32 address, const QVector<FileRecord> &files)
{
    QByteArray scratch;
    for (const FileRecord &file : files) {
        if (!FileTable::isCompressed(file))
            continue;
        const qint64 length = qint64(file.virtualEnd) - file.virtualStart;
        if (scratch.size() < length)
            scratch.resize(int(length));
        const QByteArray stored = DecompressionPass::storedBytes(rom, file);
        const Deflate::Outcome outcome
            = Deflate::decodeInto(stored.constData(), stored.size(), scratch.data(), length);
        if (outcome != Deflate::Outcome::Decoded)
            return entryRefusal(file, address, deflateProblem(outcome));
    }
    return QString();
}

} // namespace

const char firstEntryWarning[]
    = "The File Table does not start with 00000000 00001060 00000000 00000000.\n"
      "This usually indicates that the specified address isn't the start of a file table.\n"
      "Are you sure that you want to continue?";

QString firstEntryRefusal()
{
    const QString warning = QString::fromLatin1(firstEntryWarning);
    return warning.left(warning.lastIndexOf(QLatin1Char('\n'))).replace(QLatin1Char('\n'), ' ');
}

TableSearch findTable(
    const QByteArray &rom, const TableChoice &choice, const KnownDumpLookup &knownDump)
{
    TableSearch search;
    search.address = choice.address;
    const GamePresets::Detection detection = GamePresets::detect(rom);
    const bool trusted
        = detection.found && FileTable::startsWithExpectedEntry(rom, detection.address);
    search.addressNeeded = !trusted;
    if (!choice.addressGiven) {
        search.address = detection.address;
        const KnownDumps::Dump *known = trusted || !knownDump ? nullptr : knownDump();
        if (known) {
            search.address = known->tableAddress;
            search.knownDump = QString::fromUtf8(known->name);
        } else if (!detection.found) {
            search.refusal = TableRefusal::NoTableFound;
            search.error = windowText("No file table found");
            return search;
        }
    }
    search.error = addressProblem(rom, search.address);
    if (!search.error.isEmpty()) {
        search.refusal = TableRefusal::Outside;
        return search;
    }
    if (choice.checkFirstEntry && !FileTable::startsWithExpectedEntry(rom, search.address)) {
        search.refusal = TableRefusal::FirstEntry;
        search.error = firstEntryRefusal();
    }
    return search;
}

QString entryFault(
    const QByteArray &rom, qint32 address, const FileRecord &file, DecompressionPass::Codec codec)
{
    const DecompressionPass::Problem problem = DecompressionPass::problemOf(rom, file, codec);
    if (problem == DecompressionPass::Problem::None)
        return QString();
    return entryStatement(file, address, entryProblem(problem));
}

QString addressProblem(const QByteArray &rom, qint32 address)
{
    if (address < rom.size())
        return QString();
    return windowText("The file table address %1 lies past the end of the ROM, which is %2 bytes "
                      "long.")
        .arg(FileTable::addressText(address))
        .arg(rom.size());
}

bool hasCompressedFiles(const QVector<FileRecord> &files)
{
    return std::any_of(files.cbegin(), files.cend(), FileTable::isCompressed);
}

DecompressionPass::Codec codecFor(
    const QByteArray &rom, const QVector<FileRecord> &files, const KnownDumps::Dump *knownDump)
{
    using DecompressionPass::Codec;
    if (knownDump && knownDump->compression == KnownDumps::Compression::Deflate)
        return Codec::Deflate;
    const auto first = std::find_if(files.cbegin(), files.cend(), FileTable::isCompressed);
    if (first == files.cend())
        return Codec::Yaz0;
    const QByteArray stored = DecompressionPass::storedBytes(rom, *first);
    const qint64 length = qint64(first->virtualEnd) - first->virtualStart;
    if (Yaz0::hasMagic(stored.constData(), stored.size()) || length <= 0
        || length > Yaz0::maxDeclaredSize)
        return Codec::Yaz0;
    QByteArray decoded(int(length), Qt::Uninitialized);
    return Deflate::decodeInto(stored.constData(), stored.size(), decoded.data(), length)
            == Deflate::Outcome::Decoded
        ? Codec::Deflate
        : Codec::Yaz0;
}

QString refusal(const QByteArray &rom, qint64 outputSize, qint32 address,
    const QVector<FileRecord> &files, DecompressionPass::Codec codec)
{
    const QString table = FileTable::addressText(address);
    const QString outside = addressProblem(rom, address);
    if (!outside.isEmpty())
        return outside;
    if (files.isEmpty()) {
        return windowText("The file table at %1 lists no files, so there is nothing to "
                          "decompress.")
            .arg(table);
    }
    const DecompressionPass::Finding finding
        = DecompressionPass::findProblem(rom, outputSize, address, files, codec);
    if (finding.problem == DecompressionPass::Problem::None)
        return codec == DecompressionPass::Codec::Deflate ? firstBadDeflateFile(rom, address, files)
                                                          : QString();
    if (finding.problem == DecompressionPass::Problem::TooManyFiles) {
        return windowText(
            "The file table at %1 lists more than %2 files, far more than any game has, so "
            "it is not a file table.\nNothing was decompressed.")
            .arg(table)
            .arg(FileTable::maxFiles);
    }
    if (finding.problem == DecompressionPass::Problem::TooMuchWork) {
        return windowText(
            "The files of the table at %1 would take more than %2 MiB of decoding and moving "
            "to lay out (from entry %3 on), far more than any game needs, so it is not a file "
            "table.\nNothing was decompressed.")
            .arg(table)
            .arg(DecompressionPass::maxWork >> 20)
            .arg(finding.index);
    }
    return entryRefusal(files.at(finding.index), address, entryProblem(finding.problem));
}

QStringList warnings(const QByteArray &rom, const QVector<FileRecord> &files)
{
    QStringList found;
    const int past = DecompressionPass::filesPastTheEnd(rom, files);
    if (past > 0) {
        found << windowText("%1 of %2 files lie past the end of the ROM, which is %3 bytes long "
                            "(it looks cut off)")
                     .arg(past)
                     .arg(files.size())
                     .arg(rom.size());
    }
    if (!files.isEmpty() && std::none_of(files.cbegin(), files.cend(), FileTable::isCompressed))
        found << alreadyDecompressedText();
    return found;
}

QStringList cutShortWarnings(
    const QVector<DecompressionPass::CutShortFile> &cutShort, qint32 tableAddress)
{
    constexpr int named = 3;
    QStringList found;
    for (int i = 0; i < cutShort.size() && i < named; ++i) {
        found << windowText("Entry %1 of the file table at %2 is a Yaz0 file whose data ends %3 "
                            "bytes before its declared size (it decompresses with zeros there)")
                     .arg(cutShort.at(i).index)
                     .arg(FileTable::addressText(tableAddress))
                     .arg(cutShort.at(i).missing);
    }
    if (cutShort.size() > named) {
        found << windowText("%1 more Yaz0 files end before their declared sizes")
                     .arg(cutShort.size() - named);
    }
    return found;
}

QString alreadyDecompressedText()
{
    return windowText("This ROM is already decompressed");
}

} // namespace PassPlan
