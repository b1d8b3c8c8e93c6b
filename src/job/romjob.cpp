#include "romjob.h"

#include "zeropagedimage.h"

#include "compressionjob.h"
#include "decompressionjob.h"
#include "decompressionpass.h"
#include "outputfile.h"
#include "romfile.h"
#include "romplan.h"
#include "windowtext.h"

#include <QFileInfo>

#include <algorithm>

namespace RomJob {

namespace {

using FileTable::isCompressed;
using Kind = Refusal::Kind;

// Every ROM the job reads may be of any length in big-endian order: a decompressed ROM grows by
// what a file decodes past its range, and a ROM cut short can end anywhere.
constexpr RomFile::Lengths anyLength = RomFile::Lengths::AnyInBigEndian;

QString pathOf(const Request &request, const CompressRequest *how, Refusal::Input input)
{
    switch (input) {
    case Refusal::Input::Rom:
        break;
    case Refusal::Input::Original:
        return how ? how->originalPath : request.romPath;
    case Refusal::Input::Output:
        return request.outputPath;
    }
    return request.romPath;
}

Result failure(Result result, const Request &request, const Refusal &refusal,
    const CompressRequest *how = nullptr)
{
    result.refusal = refusal;
    result.failedPath = pathOf(request, how, refusal.input);
    return result;
}

Refusal outputRefusal(const QString &text, Kind kind = Kind::Output)
{
    return Refusal::of(kind, text, Refusal::Input::Output);
}

Refusal outputExists()
{
    return outputRefusal(windowText("The file exists"), Kind::OutputExists);
}

// An output that cannot be had is refused before the ROM is even read.
bool refuseOutputEarly(Result &result, const Request &request)
{
    if (request.outputToStandardOutput)
        return false;
    const QString refusal = OutputFile::checkKind(request.outputPath);
    if (!refusal.isEmpty()) {
        result = failure(result, request, outputRefusal(refusal));
        return true;
    }
    if (!request.replaceOutput && QFileInfo::exists(request.outputPath)) {
        result = failure(result, request, outputExists());
        return true;
    }
    return false;
}

// Reads the ROM and brings it to big endian; empty on failure, with result saying why.
QByteArray readRom(Result &result, const Request &request)
{
    if (!request.romImage.isEmpty()) {
        result.order = ByteOrder::Z64;
        return request.romImage;
    }
    RomFile::Contents contents = request.romFromStandardInput
        ? RomFile::readStandardInput(anyLength)
        : RomFile::read(request.romPath, anyLength);
    if (!contents.ok()) {
        result = failure(result, request, Refusal::of(Kind::Unreadable, contents.error));
        return QByteArray();
    }
    // A ROM, or reading it failed; one of any length is big endian already.
    const ByteOrder order = RomByteOrder::toBigEndian(contents.bytes);
    result.order = order == ByteOrder::NotRom ? ByteOrder::Z64 : order;
    return contents.bytes;
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

// Turns what writing the output gave into the result.
bool finishOutput(
    Result &result, const Request &request, const OutputFile &output, const QString &writeError)
{
    if (output.metExistingFile()) {
        result = failure(result, request, outputExists());
        return false;
    }
    if (!writeError.isEmpty()) {
        result = failure(result, request, outputRefusal(writeError));
        return false;
    }
    return true;
}

// ---------------------------------------------------------------------------------------------
// The way back's steps

struct Inputs
{
    QByteArray rom;
    QByteArray original; // empty when packed, or when the request brought its own
};

// Both ROMs are read at once; what is wrong with the ROM is told before the original's.
bool readInputs(Result &result, const Request &request, const CompressRequest &how,
    const CompressionJob::Runner &runner, Inputs &inputs)
{
    const bool readOriginal = !how.originalPath.isEmpty() && how.originalImage.isEmpty();
    RomFile::Contents original;
    CompressionJob::runAll(runner, readOriginal ? 2 : 1, [&](int task) {
        if (task == 0)
            inputs.rom = readRom(result, request);
        else
            original = RomFile::read(how.originalPath, anyLength);
    });
    if (!result.ok())
        return false;
    if (readOriginal && !original.ok()) {
        result = failure(result, request,
            Refusal::of(Kind::Unreadable, original.error, Refusal::Input::Original), &how);
        return false;
    }
    if (readOriginal) {
        RomByteOrder::toBigEndian(original.bytes);
        inputs.original = std::move(original.bytes);
    } else {
        inputs.original = how.originalImage;
    }
    return true;
}

RomPlan::CompressionPlan planFor(
    const Request &request, const CompressRequest &how, const Inputs &inputs)
{
    if (how.plan)
        return *how.plan;
    RomPlan::Layout layout;
    layout.likeOriginal = !how.originalPath.isEmpty();
    layout.original = layout.likeOriginal ? &inputs.original : nullptr;
    layout.compressedFiles = how.compressedFiles;
    layout.codecGiven = how.codecGiven;
    layout.codec = how.codec;
    layout.targetSize = how.targetSize;
    return RomPlan::prepareCompression(inputs.rom, tableChoiceOf(request), layout);
}

struct Written
{
    QString wrong; // why the check failed
    QString writeError;
    bool stopped = false; // asked to stop before the output was put in place
    const KnownDumps::Dump *identical = nullptr;
};

// The check, the known-dump lookup and the write run at once when the output can be written
// without being seen: it is put in place only once the check has passed, and not at all when a
// stop was asked for meanwhile. The lookup and the write are the longest tasks, so they go first;
// the files are checked one by one after them.
Written checkAndWrite(const CompressionJob::Result &compressed, const QByteArray &rom,
    const RomPlan::CompressionPlan &plan, OutputFile &output, const CompressRequest &how,
    const CompressionJob::Runner &runner, KnownDumps::Table knownDumps)
{
    Written written;
    const char *const image = compressed.image.constData();
    const qint64 size = compressed.image.size();
    CompressionJob::ResultCheck checker(compressed, rom, plan);
    enum Task { LookUp, Write, FirstFile };
    CompressionJob::runAll(runner, FirstFile + checker.files(), [&](int task) {
        if (task == LookUp)
            written.identical = KnownDumps::find(KnownDumps::md5Of(compressed.image), knownDumps);
        else if (task == Write)
            written.writeError
                = output.writesUnseen() ? output.writeUnseen(image, size) : QString();
        else
            checker.checkFile(task - FirstFile);
    });
    written.wrong = checker.verdict();
    written.stopped = how.stopRequested && how.stopRequested();
    if (!written.wrong.isEmpty() || written.stopped)
        return written;
    if (written.writeError.isEmpty())
        written.writeError = output.writesUnseen() ? output.place() : output.write(image, size);
    return written;
}

void noteWhatWasDone(Result &result, const CompressionJob::Result &compressed,
    const RomPlan::CompressionPlan &plan, const KnownDumps::Dump *identical)
{
    result.likeOriginal = plan.likeOriginal;
    result.files = compressed.files;
    result.compressedFiles = compressed.compressedFiles;
    result.movedFiles = compressed.movedFiles;
    result.keptFiles = compressed.keptFiles;
    if (identical)
        result.identicalDump = QString::fromUtf8(identical->name);
    result.checksums = compressed.checksums;
    result.warnings = compressed.warnings;
}

} // namespace

RomPlan::TableChoice tableChoiceOf(const Request &request)
{
    RomPlan::TableChoice choice;
    choice.addressGiven = request.addressGiven;
    choice.address = request.address;
    choice.checkFirstEntry = request.checkFirstEntry;
    return choice;
}

Result decompressFile(const Request &request, const DecompressionJob::Observer &observer,
    KnownDumps::Table knownDumps)
{
    Result result;
    if (refuseOutputEarly(result, request))
        return result;
    QByteArray rom = readRom(result, request);
    if (!result.ok())
        return result;
    const RomPlan::Plan plan
        = RomPlan::prepare(rom, tableChoiceOf(request), RomPlan::lookUpOnce(rom, knownDumps));
    result.address = plan.address;
    result.knownDump = plan.knownDump;
    if (!plan.ok())
        return failure(result, request, plan.refusal);
    result.files = plan.files.size();
    result.alreadyDecompressed = std::none_of(plan.files.cbegin(), plan.files.cend(), isCompressed);
    result.filesByCodec = RomPlan::filesByCodec(plan.files, plan.codecs);
    result.warnings = plan.warnings;

    // The target is opened before the pass, so a folder that cannot take it costs no work.
    OutputFile output(request.outputPath, existingFor(request), targetFor(request));
    const QString refusal = output.open();
    if (!refusal.isEmpty())
        return failure(result, request, outputRefusal(refusal));
    // Pages of the image that no file is written to cost nothing.
    ZeroPagedImage image(DecompressionPass::outputImageSize);
    if (request.lastJobOfTheProcess)
        image.leaveToProcessExit();
    const DecompressionJob::Outcome outcome = DecompressionJob::run(rom, image, plan, observer);
    if (!outcome.finished)
        return failure(result, request, Refusal::of(Kind::Stopped, stoppedText()));
    rom = QByteArray(); // the ROM is done with; the write needs only the image
    result.checksums = outcome.checksums;
    result.warnings << RomPlan::cutShortWarnings(outcome.cutShort, plan.address);
    finishOutput(result, request, output, output.write(image.constData(), image.size()));
    return result;
}

Result compressFile(const Request &request, const CompressRequest &how,
    const CompressionJob::Runner &runner, const CompressionJob::FilesEncoded &filesEncoded,
    KnownDumps::Table knownDumps)
{
    Result result;
    Inputs inputs;
    if (refuseOutputEarly(result, request) || !readInputs(result, request, how, runner, inputs))
        return result;
    const RomPlan::CompressionPlan plan = planFor(request, how, inputs);
    result.address = plan.rom.address;
    if (!plan.ok())
        return failure(result, request, plan.refusal, &how);

    OutputFile output(request.outputPath, existingFor(request), targetFor(request));
    const QString refusal = output.open();
    if (!refusal.isEmpty())
        return failure(result, request, outputRefusal(refusal));
    const CompressionJob::Result compressed
        = CompressionJob::build(inputs.rom, std::move(inputs.original), plan, runner, filesEncoded);
    if (!compressed.ok())
        return failure(result, request, compressed.refusal, &how);
    const Written written
        = checkAndWrite(compressed, inputs.rom, plan, output, how, runner, knownDumps);
    if (!written.wrong.isEmpty())
        return failure(result, request, Refusal::of(Kind::Result, written.wrong));
    if (written.stopped)
        return failure(result, request, Refusal::of(Kind::Stopped, stoppedText()));
    noteWhatWasDone(result, compressed, plan, written.identical);
    finishOutput(result, request, output, written.writeError);
    return result;
}

QString identicalDumpText(const QString &name)
{
    return windowText("Identical to the original dump: %1").arg(name);
}

} // namespace RomJob
