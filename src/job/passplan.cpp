#include "passplan.h"

#include "windowtext.h"

#include "decompressionpass.h"
#include "yaz0.h"

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

Plan make(const QByteArray &rom, qint64 outputSize, qint32 address)
{
    Plan plan;
    plan.address = address;
    plan.files = FileTable::read(rom, address);
    plan.refusal = refusal(rom, outputSize, address, plan.files);
    if (!plan.refusal.isEmpty())
        plan.files = QVector<FileRecord>();
    return plan;
}

QString refusal(
    const QByteArray &rom, qint64 outputSize, qint32 address, const QVector<FileRecord> &files)
{
    const QString table = FileTable::addressText(address);
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
    return windowText("Entry %1 of the file table at %2 (%3) %4.\nNothing was "
                      "decompressed.")
        .arg(finding.index)
        .arg(table, entryText(files.at(finding.index)), entryProblem(finding.problem));
}

} // namespace PassPlan
