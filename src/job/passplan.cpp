#include "passplan.h"

#include "windowtext.h"

#include "decompressionpass.h"
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
        return windowText("is a compressed file that declares more than %1 MiB")
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

} // namespace

const char firstEntryWarning[]
    = "The File Table does not start with 00000000 00001060 00000000 00000000.\n"
      "This usually indicates that the specified address isn't the start of a file table.\n"
      "Are you sure that you want to continue?";

QString addressProblem(const QByteArray &rom, qint32 address)
{
    if (address < rom.size())
        return QString();
    return windowText("The file table address %1 lies past the end of the ROM, which is %2 bytes "
                      "long.")
        .arg(FileTable::addressText(address))
        .arg(rom.size());
}

Plan make(const QByteArray &rom, qint64 outputSize, qint32 address)
{
    Plan plan;
    plan.address = address;
    plan.files = FileTable::read(rom, address);
    plan.refusal = refusal(rom, outputSize, address, plan.files);
    if (!plan.refusal.isEmpty())
        plan.files = QVector<FileRecord>();
    else
        plan.warnings = warnings(rom, plan.files);
    return plan;
}

QString refusal(
    const QByteArray &rom, qint64 outputSize, qint32 address, const QVector<FileRecord> &files)
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
        = DecompressionPass::findProblem(rom, outputSize, address, files);
    if (finding.problem == DecompressionPass::Problem::None)
        return QString();
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
    return windowText("Entry %1 of the file table at %2 (%3) %4.\nNothing was "
                      "decompressed.")
        .arg(finding.index)
        .arg(table, entryText(files.at(finding.index)), entryProblem(finding.problem));
}

QStringList warnings(const QByteArray &rom, const QVector<FileRecord> &files)
{
    QStringList found;
    const int past = DecompressionPass::filesPastTheEnd(rom, files);
    if (past > 0) {
        found << windowText("%1 of %2 files lie past the end of the ROM (it looks cut off)")
                     .arg(past)
                     .arg(files.size());
    }
    if (!files.isEmpty() && std::none_of(files.cbegin(), files.cend(), FileTable::isCompressed))
        found << alreadyDecompressedText();
    return found;
}

QString alreadyDecompressedText()
{
    return windowText("This ROM is already decompressed");
}

} // namespace PassPlan
