#ifndef ROMJOB_H
#define ROMJOB_H

#include "byteorder.h"
#include "checksumrepair.h"
#include "compressionjob.h"
#include "decompressionjob.h"
#include "knowndumps.h"
#include "refusal.h"
#include "romplan.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

// The whole job on one ROM file without a window, either way: read it safely, bring it to big
// endian, plan it, run the decompression job (or the compression job) and write the image. The
// command line runs it as it is; the window runs the way back through it.
namespace RomJob {

struct Request
{
    QString romPath;
    QString outputPath;
    bool romFromStandardInput = false; // romPath only names it in messages
    // The ROM already read and brought to big endian (a window's loaded ROM); when set, romPath
    // only names it in messages.
    QByteArray romImage;
    bool outputToStandardOutput = false; // likewise outputPath
    bool replaceOutput = false; // an existing output file is refused unless this is set
    bool addressGiven = false; // otherwise the build string gives the address
    qint32 address = 0;
    bool checkFirstEntry = true;
    // The program ends after this job: the image's memory is left to the system rather than
    // handed back page by page.
    bool lastJobOfTheProcess = false;
};

struct Result
{
    Refusal refusal; // why nothing was written
    QString failedPath; // the path the refusal is about (the ROM, the original or the output)
    ByteOrder order = ByteOrder::NotRom;
    qint32 address = 0;
    int files = 0; // entries of the table
    HeaderChecksums::Report checksums;
    bool alreadyDecompressed = false; // no file of the table was stored compressed
    QMap<Codec, int> filesByCodec; // decompressFile: the compressed files by how they are stored
    QStringList warnings; // what was odd about the inputs (see RomPlan)
    QString knownDump; // the name of the known dump whose table address was used, if one was
    bool likeOriginal = false; // compressFile: laid out like an original
    int compressedFiles = 0; // compressFile: files written compressed
    int movedFiles = 0; // compressFile with an original: files that left their place
    int keptFiles = 0; // compressFile with an original: compressed files kept as it stores them
    QString identicalDump; // compressFile: the known dump that the written ROM is, byte for byte
    bool ok() const { return !refusal.refused(); }
};

// Runs the job. Nothing is written unless every step before the write succeeded, and a failed
// write leaves an existing output file as it was. Without replaceOutput, an output file that
// appears while the job runs is not replaced either. The ROM may be of any length in big-endian
// order (a decompressed ROM that grew, a ROM cut off). It is looked up among the known dumps only
// when something is off (no build string, a table that does not start as expected, compressed
// files that are not Yaz0), so that a plain job does not pay for hashing the whole ROM.
Result decompressFile(const Request &request, const DecompressionJob::Observer &observer = {},
    KnownDumps::Table knownDumps = KnownDumps::builtInTable());

// How compressFile lays out the ROM: like an original compressed ROM, or packed with the files
// these ranges name compressed.
struct CompressRequest
{
    QString originalPath; // empty: packed
    QVector<RomPlan::IndexRange> compressedFiles;
    bool codecGiven = false; // every compressed file in codec (see RomPlan::Layout)
    Codec codec = Codec::Yaz0;
    qint64 targetSize = 0; // the size the result must have, or 0
    // The original already read and brought to big endian, and the plan made of it and of the
    // request's romImage (the window has both when it has found the original); when set, neither
    // ROM is read or planned again.
    QByteArray originalImage;
    std::optional<RomPlan::CompressionPlan> plan;
    // Asked once more after the check, before the output is put in place: a stop asked for while
    // the last files were checked still leaves nothing written.
    std::function<bool()> stopRequested;
};

// The way back: reads a decompressed ROM in any byte order, or of any length in big-endian order
// (and the original likewise), plans it (RomPlan::prepareCompression), compresses it (see
// CompressionJob::build) and writes the image by the same rules once CompressionJob::check has
// passed. The runner encodes the files, and then checks the image while it writes it. The
// written ROM is looked up among the known dumps while it is checked: the proof that a way back
// gave the original.
Result compressFile(const Request &request, const CompressRequest &how,
    const CompressionJob::Runner &runner = CompressionJob::Runner(),
    const CompressionJob::FilesEncoded &filesEncoded = CompressionJob::FilesEncoded(),
    KnownDumps::Table knownDumps = KnownDumps::builtInTable());

// How the request asks for the table.
RomPlan::TableChoice tableChoiceOf(const Request &request);

// "Identical to the original dump: NAME"
QString identicalDumpText(const QString &name);

} // namespace RomJob

#endif // ROMJOB_H
