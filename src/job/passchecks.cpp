// The decisions of a decompression's plan: how the files are stored, whether the pass may start,
// and what the user should know of a pass that may.
#include "planchecks.h"

#include "windowtext.h"

#include "bigendian.h"
#include "codec.h"
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

QString wholeFileProblem(DecodeOutcome outcome, Codec codec)
{
    const QString name = CodecFile::withArticle(codec);
    switch (outcome) {
    case DecodeOutcome::Corrupt:
        return windowText("is %1 stream that is corrupt or ends early").arg(name);
    case DecodeOutcome::TooShort:
        return windowText("is %1 stream that decodes to fewer bytes than its range").arg(name);
    case DecodeOutcome::TooLong:
        return windowText("is %1 stream that decodes to more bytes than its range").arg(name);
    case DecodeOutcome::Decoded:
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

DecodeOutcome decodeWhole(
    const QByteArray &rom, const FileRecord &file, Codec codec, QByteArray &scratch)
{
    const qint64 length = qint64(file.virtualEnd) - file.virtualStart;
    if (scratch.size() < length)
        scratch.resize(int(length));
    const QByteArray stored = DecompressionPass::storedBytes(rom, file);
    const int header = CodecFile::headerSize(codec);
    if (stored.size() < header)
        return DecodeOutcome::Corrupt;
    return CodecFile::decodeWhole(
        codec, stored.constData() + header, stored.size() - header, scratch.data(), length);
}

// What a hack codec's file declares, when it is not its range's length.
QString declarationProblem(const QByteArray &rom, const FileRecord &file, Codec codec)
{
    const QByteArray stored = DecompressionPass::storedBytes(rom, file);
    const qint64 range = qint64(file.virtualEnd) - file.virtualStart;
    const qint64 declared = stored.size() >= CodecFile::hackHeaderSize
        ? qint64(BigEndian::readWord(stored, CodecFile::declaredSizeOffset))
        : -1;
    if (declared == range)
        return QString();
    if (declared < 0)
        return windowText("is %1 file too short for its header").arg(CodecFile::withArticle(codec));
    return windowText("is %1 file that declares %2 bytes, not the %3 of its range")
        .arg(CodecFile::withArticle(codec))
        .arg(declared)
        .arg(range);
}

// A file that decodes whole is decoded whole or not at all, so every one is decoded once before
// the pass (but the first DEFLATE file, when finding the codec decoded it already).
Refusal firstBadWholeFile(const QByteArray &rom, qint32 address, const QVector<FileRecord> &files,
    const CodecFinding &finding)
{
    QByteArray scratch;
    bool skip = finding.firstInflated;
    for (int position = 0; position < files.size(); ++position) {
        const FileRecord &file = files.at(position);
        const Codec codec = finding.codecs.of(position);
        if (!FileTable::isCompressed(file) || !DecompressionPass::decodesWhole(codec))
            continue;
        if (codec == Codec::Deflate && std::exchange(skip, false))
            continue;
        if (CodecFile::isHackCodec(codec)) {
            const QString problem = declarationProblem(rom, file, codec);
            if (!problem.isEmpty())
                return entryRefusal(file, address, problem);
        }
        const DecodeOutcome outcome = decodeWhole(rom, file, codec, scratch);
        if (outcome != DecodeOutcome::Decoded)
            return entryRefusal(file, address, wholeFileProblem(outcome, codec));
    }
    return Refusal();
}

// A magic shown as it stands: its printable bytes, the others as \xNN.
QString magicText(const QByteArray &stored)
{
    QString text;
    for (const char c : stored.left(CodecFile::magicSize)) {
        const uchar byte = uchar(c);
        text += byte >= 0x20 && byte < 0x7F ? QString(QChar(byte))
                                            : QStringLiteral("\\x%1").arg(byte, 2, 16, QChar('0'));
    }
    return text;
}

// Files decoded as Yaz0 whose magic is not "Yaz0": the first few named, then how many more.
QStringList oddMagicWarnings(const QByteArray &rom, qint32 address,
    const QVector<FileRecord> &files, const DecompressionPass::FileCodecs &codecs)
{
    constexpr int named = 3;
    QStringList found;
    int more = 0;
    for (int position = 0; position < files.size(); ++position) {
        const FileRecord &file = files.at(position);
        if (!FileTable::isCompressed(file) || codecs.of(position) != Codec::Yaz0)
            continue;
        const QByteArray stored = DecompressionPass::storedBytes(rom, file);
        if (stored.size() < CodecFile::magicSize
            || Yaz0::hasMagic(stored.constData(), stored.size()))
            continue;
        if (found.size() == named) {
            ++more;
            continue;
        }
        found << windowText("%1 starts with '%2', not 'Yaz0': decoded as Yaz0")
                     .arg(EntryText::name(file.index, address), magicText(stored));
    }
    if (more > 0)
        found << windowText("%1 more files start with something other than 'Yaz0'").arg(more);
    return found;
}

// Yaz0 unless the first file is no Yaz0 file and the known dump says DEFLATE, or the file inflates
// cleanly to exactly its range (then inflated is set).
Codec romWideCodec(const QByteArray &rom, const FileRecord &first, const KnownDumpLookup &knownDump,
    bool *inflated)
{
    const QByteArray stored = DecompressionPass::storedBytes(rom, first);
    if (Yaz0::hasMagic(stored.constData(), stored.size()))
        return Codec::Yaz0;
    // A known dump says how its files are stored; its MD5 is only worth finding out now.
    const KnownDumps::Dump *dump = knownDump ? knownDump() : nullptr;
    if (dump && dump->compression == KnownDumps::Compression::Deflate)
        return Codec::Deflate;
    const qint64 length = qint64(first.virtualEnd) - first.virtualStart;
    if (length <= 0 || length > Yaz0::maxDeclaredSize)
        return Codec::Yaz0;
    QByteArray decoded;
    *inflated = decodeWhole(rom, first, Codec::Deflate, decoded) == DecodeOutcome::Decoded;
    return *inflated ? Codec::Deflate : Codec::Yaz0;
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
    // The hack codecs' files are known by their magic; the first other compressed file tells the
    // codec of all the rest.
    QVector<Codec> byPosition(files.size(), Codec::Yaz0);
    bool hackCodecs = false;
    const FileRecord *first = nullptr;
    for (int position = 0; position < files.size(); ++position) {
        const FileRecord &file = files.at(position);
        if (!FileTable::isCompressed(file))
            continue;
        const QByteArray stored = DecompressionPass::storedBytes(rom, file);
        const Codec codec = CodecFile::fromMagic(stored.constData(), stored.size());
        if (CodecFile::isHackCodec(codec)) {
            byPosition[position] = codec;
            hackCodecs = true;
        } else if (!first) {
            first = &file;
        }
    }
    if (first)
        finding.codecs.romWide = romWideCodec(rom, *first, knownDump, &finding.firstInflated);
    if (hackCodecs) {
        for (int position = 0; position < files.size(); ++position) {
            if (!CodecFile::isHackCodec(byPosition.at(position)))
                byPosition[position] = finding.codecs.romWide;
        }
        finding.codecs.byPosition = byPosition;
    }
    return finding;
}

Refusal passRefusal(const QByteArray &rom, qint64 outputSize, qint32 address,
    const QVector<FileRecord> &files, const CodecFinding &codecs)
{
    const QString table = FileTable::addressText(address);
    if (files.isEmpty()) {
        return Refusal::of(Refusal::Kind::Table,
            windowText("The file table at %1 lists no files, so there is nothing to decompress.")
                .arg(table));
    }
    const DecompressionPass::Finding finding
        = DecompressionPass::findProblem(rom, outputSize, address, files, codecs.codecs);
    switch (finding.problem) {
    case Problem::None:
        return firstBadWholeFile(rom, address, files, codecs);
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
    const DecompressionPass::FileCodecs &codecs, bool walkStreams)
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
    if (codecs.romWide == Codec::Yaz0)
        found << oddMagicWarnings(rom, address, files, codecs);
    if (walkStreams)
        found << cutShortWarnings(DecompressionPass::cutShortFiles(rom, files, codecs), address);
    return found;
}

} // namespace Checks
} // namespace RomPlan
