#include "romjob.h"

#include "decompressionjob.h"
#include "decompressionpass.h"
#include "gamepresets.h"
#include "outputfile.h"
#include "passplan.h"
#include "romfile.h"
#include "rominfo.h"
#include "windowtext.h"
#include "yaz0.h"

#include <QFileInfo>

#include <algorithm>

namespace RomJob {

namespace {

// The first-entry warning without its closing question: a job without a window refuses instead
// of asking.
QString firstEntryRefusal()
{
    const QString warning = QString::fromLatin1(PassPlan::firstEntryWarning);
    return warning.left(warning.lastIndexOf(QLatin1Char('\n'))).replace(QLatin1Char('\n'), ' ');
}

using FileTable::isCompressed;

// Only the first compressed file is looked at: a ROM's files are all packed the same way.
bool compressedFilesLookLikeYaz0(const QByteArray &rom, const QVector<FileRecord> &files)
{
    const auto first = std::find_if(files.cbegin(), files.cend(), isCompressed);
    if (first == files.cend() || first->physicalStart >= rom.size())
        return true;
    return Yaz0::hasMagic(
        rom.constData() + first->physicalStart, rom.size() - first->physicalStart);
}

Result failure(
    Result result, const QString &path, const QString &error, Refusal refusal = Refusal::Other)
{
    result.failedPath = path;
    result.error = error;
    result.refusal = refusal;
    return result;
}

QString outputExistsText()
{
    return windowText("The file exists");
}

} // namespace

Result decompressFile(const Request &request, const DecompressionJob::Observer &observer,
    KnownDumps::Table knownDumps)
{
    Result result;
    const QString &romPath = request.romPath;
    const QString &outputPath = request.outputPath;
    if (!request.outputToStandardOutput) {
        const QString refusal = OutputFile::checkKind(outputPath);
        if (!refusal.isEmpty())
            return failure(result, outputPath, refusal);
        if (!request.replaceOutput && QFileInfo::exists(outputPath))
            return failure(result, outputPath, outputExistsText(), Refusal::OutputExists);
    }

    RomFile::Contents contents
        = request.romFromStandardInput ? RomFile::readStandardInput() : RomFile::read(romPath);
    if (!contents.ok())
        return failure(result, romPath, contents.error);
    QByteArray &rom = contents.bytes;
    result.order = RomByteOrder::toBigEndian(rom); // a ROM, or reading it would have failed

    bool looked = false;
    const KnownDumps::Dump *known = nullptr;
    const auto lookUp = [&] {
        if (!looked)
            known = KnownDumps::find(KnownDumps::md5Of(rom), knownDumps);
        looked = true;
        return known;
    };
    result.address = request.address;
    if (!request.addressGiven) {
        const GamePresets::Detection detection = GamePresets::detect(rom);
        const bool trusted
            = detection.found && FileTable::startsWithExpectedEntry(rom, detection.address);
        result.address = detection.address;
        if (!trusted && lookUp()) {
            result.address = known->tableAddress;
            result.knownDump = QString::fromUtf8(known->name);
        } else if (!detection.found) {
            return failure(
                result, romPath, windowText("No file table found"), Refusal::NoTableFound);
        }
    }
    const QString outside = PassPlan::addressProblem(rom, result.address);
    if (!outside.isEmpty())
        return failure(result, romPath, outside);
    if (request.checkFirstEntry && !FileTable::startsWithExpectedEntry(rom, result.address))
        return failure(result, romPath, firstEntryRefusal(), Refusal::FirstEntry);

    const PassPlan::Plan plan
        = PassPlan::make(rom, DecompressionPass::outputImageSize, result.address);
    if (!plan.refusal.isEmpty())
        return failure(result, romPath, plan.refusal);
    if (!compressedFilesLookLikeYaz0(rom, plan.files)) {
        const QString refusal = RomInfo::refusalForKnownDump(lookUp());
        if (!refusal.isEmpty())
            return failure(result, romPath, refusal);
    }
    result.files = plan.files.size();
    result.alreadyDecompressed = std::none_of(plan.files.cbegin(), plan.files.cend(), isCompressed);
    result.warnings = plan.warnings;

    // The target is opened before the pass, so a folder that cannot take it costs no work.
    OutputFile output(outputPath,
        request.replaceOutput ? OutputFile::Existing::Replace : OutputFile::Existing::Keep,
        request.outputToStandardOutput ? OutputFile::Target::StandardOutput
                                       : OutputFile::Target::Path);
    const QString refusal = output.open();
    if (!refusal.isEmpty())
        return failure(result, outputPath, refusal);
    // Pages of the image that no file is written to cost nothing.
    ZeroPagedImage image(DecompressionPass::outputImageSize);
    if (request.lastJobOfTheProcess)
        image.leaveToProcessExit();
    const DecompressionJob::Outcome outcome = DecompressionJob::run(rom, image, plan, observer);
    if (!outcome.finished)
        return failure(result, romPath, windowText("Stopped before the last file"));
    rom = QByteArray(); // the ROM is done with; the write needs only the image
    result.checksums = outcome.checksums;
    const QString writeError = output.write(image.constData(), image.size());
    if (output.metExistingFile())
        return failure(result, outputPath, outputExistsText(), Refusal::OutputExists);
    if (!writeError.isEmpty())
        return failure(result, outputPath, writeError);
    return result;
}

} // namespace RomJob
