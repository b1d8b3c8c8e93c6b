#include "romjob.h"

#include "zeropagedimage.h"

#include "compressionjob.h"
#include "decompressionjob.h"
#include "decompressionpass.h"
#include "outputfile.h"
#include "passplan.h"
#include "romfile.h"
#include "rominfo.h"
#include "romplan.h"
#include "windowtext.h"

#include <QFileInfo>

#include <algorithm>

namespace RomJob {

namespace {

using FileTable::isCompressed;

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

// An output that cannot be had is refused before the ROM is even read.
bool refuseOutputEarly(Result &result, const Request &request)
{
    if (request.outputToStandardOutput)
        return false;
    const QString refusal = OutputFile::checkKind(request.outputPath);
    if (!refusal.isEmpty()) {
        result = failure(result, request.outputPath, refusal);
        return true;
    }
    if (!request.replaceOutput && QFileInfo::exists(request.outputPath)) {
        result = failure(result, request.outputPath, outputExistsText(), Refusal::OutputExists);
        return true;
    }
    return false;
}

// Reads the ROM and brings it to big endian; empty on failure, with result saying why.
QByteArray readRom(Result &result, const Request &request,
    RomFile::Lengths lengths = RomFile::Lengths::MultipleOf4)
{
    if (!request.romImage.isEmpty()) {
        result.order = ByteOrder::Z64;
        return request.romImage;
    }
    RomFile::Contents contents = request.romFromStandardInput
        ? RomFile::readStandardInput(lengths)
        : RomFile::read(request.romPath, lengths);
    if (!contents.ok()) {
        result = failure(result, request.romPath, contents.error);
        return QByteArray();
    }
    // A ROM, or reading it failed; one of any length is big endian already.
    const ByteOrder order = RomByteOrder::toBigEndian(contents.bytes);
    result.order = order == ByteOrder::NotRom ? ByteOrder::Z64 : order;
    return contents.bytes;
}

// How decompressing the compressed ROM will find its table: by the build string, unless the ROM
// needed the address it was given.
PassPlan::TableChoice tableChoiceForTheResult(const Request &request, const PassPlan::Plan &plan)
{
    PassPlan::TableChoice choice;
    if (request.addressGiven && plan.addressNeeded) {
        choice.addressGiven = true;
        choice.address = request.address;
    }
    return choice;
}

// A refusal of the compression job: whose input it is about, and what kind it is.
Result compressionFailure(const Result &result, const Request &request, const CompressRequest &how,
    const CompressionJob::Result &compressed)
{
    using CompressionJob::Refusal;
    const QString &path
        = compressed.refusal == Refusal::Original ? how.originalPath : request.romPath;
    return failure(result, path, compressed.error,
        compressed.refusal == Refusal::Ranges ? RomJob::Refusal::Usage : RomJob::Refusal::Other);
}

PassPlan::TableChoice tableChoiceOf(const Request &request)
{
    PassPlan::TableChoice choice;
    choice.addressGiven = request.addressGiven;
    choice.address = request.address;
    choice.checkFirstEntry = request.checkFirstEntry;
    return choice;
}

Refusal refusalOf(PassPlan::TableRefusal refusal)
{
    switch (refusal) {
    case PassPlan::TableRefusal::None:
        return Refusal::None;
    case PassPlan::TableRefusal::NoTableFound:
        return Refusal::NoTableFound;
    case PassPlan::TableRefusal::FirstEntry:
        return Refusal::FirstEntry;
    case PassPlan::TableRefusal::Outside:
    case PassPlan::TableRefusal::Files:
        break;
    }
    return Refusal::Other;
}

// The plan for the request's ROM (see RomPlan::prepare); a refusal is put into result.
PassPlan::Plan planFor(Result &result, const Request &request, const QByteArray &rom,
    const PassPlan::KnownDumpLookup &knownDump, RomPlan::Use use)
{
    PassPlan::Plan plan = RomPlan::prepare(rom, tableChoiceOf(request), knownDump, use);
    result.address = plan.address;
    result.knownDump = plan.knownDump;
    if (!plan.ok())
        result = failure(result, request.romPath, plan.refusal, refusalOf(plan.refusalKind));
    return plan;
}

OutputFile::Existing existingFor(const Request &request)
{
    return request.replaceOutput ? OutputFile::Existing::Replace : OutputFile::Existing::Keep;
}

OutputFile::Target targetFor(const Request &request)
{
    return request.outputToStandardOutput ? OutputFile::Target::StandardOutput
                                          : OutputFile::Target::Path;
}

// Writes the image and puts it in place; false with result saying why.
// Turns what writing the output gave into the result.
bool finishOutput(
    Result &result, const Request &request, const OutputFile &output, const QString &writeError)
{
    if (output.metExistingFile()) {
        result = failure(result, request.outputPath, outputExistsText(), Refusal::OutputExists);
        return false;
    }
    if (!writeError.isEmpty()) {
        result = failure(result, request.outputPath, writeError);
        return false;
    }
    return true;
}

} // namespace

Result decompressFile(const Request &request, const DecompressionJob::Observer &observer,
    KnownDumps::Table knownDumps)
{
    Result result;
    if (refuseOutputEarly(result, request))
        return result;
    QByteArray rom = readRom(result, request);
    if (!result.ok())
        return result;
    const PassPlan::Plan plan = planFor(
        result, request, rom, RomPlan::lookUpOnce(rom, knownDumps), RomPlan::Use::Decompress);
    if (!plan.ok())
        return result;
    result.files = plan.files.size();
    result.alreadyDecompressed = std::none_of(plan.files.cbegin(), plan.files.cend(), isCompressed);
    result.warnings = plan.warnings;

    // The target is opened before the pass, so a folder that cannot take it costs no work.
    OutputFile output(request.outputPath, existingFor(request), targetFor(request));
    const QString refusal = output.open();
    if (!refusal.isEmpty())
        return failure(result, request.outputPath, refusal);
    // Pages of the image that no file is written to cost nothing.
    ZeroPagedImage image(DecompressionPass::outputImageSize);
    if (request.lastJobOfTheProcess)
        image.leaveToProcessExit();
    const DecompressionJob::Outcome outcome = DecompressionJob::run(rom, image, plan, observer);
    if (!outcome.finished)
        return failure(result, request.romPath, stoppedText());
    rom = QByteArray(); // the ROM is done with; the write needs only the image
    result.checksums = outcome.checksums;
    result.warnings << PassPlan::cutShortWarnings(outcome.cutShort, plan.address);
    finishOutput(result, request, output, output.write(image.constData(), image.size()));
    return result;
}

Result compressFile(const Request &request, const CompressRequest &how,
    const CompressionJob::Runner &runner, const CompressionJob::FilesEncoded &filesEncoded,
    KnownDumps::Table knownDumps)
{
    Result result;
    if (refuseOutputEarly(result, request))
        return result;
    CompressionJob::Layout layout;
    layout.likeOriginal = !how.originalPath.isEmpty();
    layout.compressedFiles = how.compressedFiles;
    // Both ROMs are read at once; what is wrong with the ROM is told before the original's.
    const RomFile::Lengths anyLength = RomFile::Lengths::AnyInBigEndian;
    QByteArray rom;
    RomFile::Contents original;
    CompressionJob::runAll(runner, layout.likeOriginal ? 2 : 1, [&](int task) {
        if (task == 0)
            rom = readRom(result, request, anyLength);
        else
            original = RomFile::read(how.originalPath, anyLength);
    });
    if (!result.ok())
        return result;
    // A decompressed ROM is no known dump: it is not hashed.
    const PassPlan::Plan plan = planFor(result, request, rom, {}, RomPlan::Use::Compress);
    if (!plan.ok())
        return result;
    if (layout.likeOriginal) {
        if (!original.ok())
            return failure(result, how.originalPath, original.error);
        RomByteOrder::toBigEndian(original.bytes);
        layout.original = std::move(original.bytes);
    }

    OutputFile output(request.outputPath, existingFor(request), targetFor(request));
    const QString refusal = output.open();
    if (!refusal.isEmpty())
        return failure(result, request.outputPath, refusal);
    const CompressionJob::Result compressed
        = CompressionJob::build(rom, result.address, std::move(layout), runner, filesEncoded);
    if (!compressed.ok())
        return compressionFailure(result, request, how, compressed);

    // The check and the write run at once, when the output can be written without being seen:
    // it is put in place only once the check has passed.
    const char *const image = compressed.image.constData();
    const qint64 size = compressed.image.size();
    const PassPlan::TableChoice resultTable = tableChoiceForTheResult(request, plan);
    QString wrong;
    QString writeError;
    const KnownDumps::Dump *identical = nullptr;
    enum Task { Check, LookUp, Write };
    CompressionJob::runAll(runner, output.writesUnseen() ? 3 : 2, [&](int task) {
        if (task == Check)
            wrong = CompressionJob::check(compressed, rom, result.address, resultTable);
        else if (task == LookUp)
            identical = KnownDumps::find(KnownDumps::md5Of(compressed.image), knownDumps);
        else
            writeError = output.writeUnseen(image, size);
    });
    if (!wrong.isEmpty())
        return failure(result, request.romPath, wrong);
    if (how.stopRequested && how.stopRequested())
        return failure(result, request.romPath, stoppedText());
    if (writeError.isEmpty())
        writeError = output.writesUnseen() ? output.place() : output.write(image, size);
    result.files = compressed.files;
    result.compressedFiles = compressed.compressedFiles;
    result.movedFiles = compressed.movedFiles;
    result.keptFiles = compressed.keptFiles;
    if (identical)
        result.identicalDump = QString::fromUtf8(identical->name);
    result.checksums = compressed.checksums;
    result.warnings = compressed.warnings;
    finishOutput(result, request, output, writeError);
    return result;
}

QString identicalDumpText(const QString &name)
{
    return windowText("Identical to the original dump: %1").arg(name);
}

} // namespace RomJob
