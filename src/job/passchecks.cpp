// The decisions of a decompression's plan: how the files are stored, whether the pass may start,
// and what the user should know of a pass that may.
#include "planchecks.h"

#include "windowtext.h"

#include "deflate.h"
#include "entrytext.h"
#include "yaz0.h"

#include <QLocale>

#include <algorithm>
#include <utility>

namespace RomPlan {
namespace Checks {

namespace {

using DecompressionPass::Codec;
using DecompressionPass::Problem;

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

Refusal refusal(const QString &text)
{
    return Refusal::of(Refusal::Kind::Table, text + windowText("\nNothing was decompressed."));
}

Refusal entryRefusal(const FileRecord &file, qint32 address, const QString &problem)
{
    return refusal(EntryText::statement(file, address, problem));
}

Deflate::Outcome inflate(const QByteArray &rom, const FileRecord &file, QByteArray &scratch)
{
    const qint64 length = qint64(file.virtualEnd) - file.virtualStart;
    if (scratch.size() < length)
        scratch.resize(int(length));
    const QByteArray stored = DecompressionPass::storedBytes(rom, file);
    return Deflate::decodeInto(stored.constData(), stored.size(), scratch.data(), length);
}

// A DEFLATE file is decoded whole or not at all, so every one is decoded once before the pass.
Refusal firstBadDeflateFile(
    const QByteArray &rom, qint32 address, const QVector<FileRecord> &files, bool firstInflated)
{
    QByteArray scratch;
    bool skip = firstInflated;
    for (const FileRecord &file : files) {
        if (!FileTable::isCompressed(file))
            continue;
        if (std::exchange(skip, false))
            continue;
        const Deflate::Outcome outcome = inflate(rom, file, scratch);
        if (outcome != Deflate::Outcome::Decoded)
            return entryRefusal(file, address, deflateProblem(outcome));
    }
    return Refusal();
}

} // namespace

QString problemText(Problem problem)
{
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

QString tooManyFilesText(qint32 address)
{
    return windowText("The file table at %1 lists more than %2 files, far more than any game has")
        .arg(FileTable::addressText(address))
        .arg(FileTable::maxFiles);
}

CodecFinding codecOf(
    const QByteArray &rom, const QVector<FileRecord> &files, const KnownDumpLookup &knownDump)
{
    CodecFinding finding;
    const auto first = std::find_if(files.cbegin(), files.cend(), FileTable::isCompressed);
    if (first == files.cend())
        return finding;
    const QByteArray stored = DecompressionPass::storedBytes(rom, *first);
    if (Yaz0::hasMagic(stored.constData(), stored.size()))
        return finding;
    // A known dump says how its files are stored; its MD5 is only worth finding out now.
    const KnownDumps::Dump *dump = knownDump ? knownDump() : nullptr;
    if (dump && dump->compression == KnownDumps::Compression::Deflate) {
        finding.codec = Codec::Deflate;
        return finding;
    }
    const qint64 length = qint64(first->virtualEnd) - first->virtualStart;
    if (length <= 0 || length > Yaz0::maxDeclaredSize)
        return finding;
    QByteArray decoded;
    if (inflate(rom, *first, decoded) == Deflate::Outcome::Decoded) {
        finding.codec = Codec::Deflate;
        finding.firstInflated = true;
    }
    return finding;
}

Refusal passRefusal(const QByteArray &rom, qint64 outputSize, qint32 address,
    const QVector<FileRecord> &files, const CodecFinding &codec)
{
    const QString table = FileTable::addressText(address);
    if (files.isEmpty()) {
        return Refusal::of(Refusal::Kind::Table,
            windowText("The file table at %1 lists no files, so there is nothing to decompress.")
                .arg(table));
    }
    const DecompressionPass::Finding finding
        = DecompressionPass::findProblem(rom, outputSize, address, files, codec.codec);
    switch (finding.problem) {
    case Problem::None:
        return codec.codec == Codec::Deflate
            ? firstBadDeflateFile(rom, address, files, codec.firstInflated)
            : Refusal();
    case Problem::TooManyFiles:
        return refusal(windowText("%1, so it is not a file table.").arg(tooManyFilesText(address)));
    case Problem::TooMuchWork:
        return refusal(
            windowText("The files of the table at %1 would take more than %2 MiB of decoding and "
                       "moving to lay out (from entry %3 on), far more than any game needs, so "
                       "it is not a file table.")
                .arg(table)
                .arg(DecompressionPass::maxWork >> 20)
                .arg(finding.index));
    case Problem::NegativeAddress:
    case Problem::InvertedRange:
    case Problem::DeclaredSizeTooLarge:
    case Problem::OutputTooLarge:
        break;
    }
    return entryRefusal(files.at(finding.index), address, problemText(finding.problem));
}

QStringList passWarnings(const QByteArray &rom, qint32 address, const QVector<FileRecord> &files,
    Codec codec, bool walkStreams)
{
    QStringList found;
    const bool tableCutOff = !FileTable::endMarkInside(rom, address, files);
    if (tableCutOff)
        found << tableCutOffText(rom, address, files.size());
    const int past = DecompressionPass::filesPastTheEnd(rom, files);
    if (past > 0) {
        found << windowText("%1 of %2 files lie past the end of the ROM, which is %3 bytes long "
                            "(it looks cut off)")
                     .arg(past)
                     .arg(files.size())
                     .arg(rom.size());
    }
    if (rom.size() % 4 != 0) {
        found << windowText("Its length, %1 bytes, is not a multiple of 4, as a decompressed ROM's "
                            "is when one of its files decoded past its range, or a ROM's that is "
                            "cut off")
                     .arg(QLocale(QLocale::English).toString(rom.size()));
    }
    if (!tableCutOff && std::none_of(files.cbegin(), files.cend(), FileTable::isCompressed))
        found << alreadyDecompressedText();
    if (walkStreams && codec == Codec::Yaz0)
        found << cutShortWarnings(DecompressionPass::cutShortFiles(rom, files), address);
    return found;
}

} // namespace Checks
} // namespace RomPlan
