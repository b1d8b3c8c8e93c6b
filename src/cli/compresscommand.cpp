#include "compresscommand.h"

#include "checksum.h"
#include "codec.h"
#include "console.h"
#include "outputnames.h"
#include "poolrunner.h"

#include <QCommandLineParser>
#include <QThreadPool>

namespace {

const QCommandLineOption likeOption {"like",
    "Lay the ROM out like ORIGINAL, the compressed ROM it was decompressed from (any byte "
    "order): the same files compressed, in the same places where they fit, and the files that "
    "did not change kept as ORIGINAL stores them.",
    "ORIGINAL"};
const QCommandLineOption filesOption {"files",
    "Compress the files with these table indices (such as 10-941,1000-END; END is the last "
    "entry), store the rest, and lay them all out one after another. The header's entry and the "
    "table's must stay stored.",
    "RANGES"};

const QCommandLineOption codecOption {"codec",
    "Write every compressed file with CODEC: yaz0 (the games' own), or the hack compressor's lzo, "
    "ucl, aplib or zlib. With --files the default is yaz0; with --like each file is written as "
    "ORIGINAL stores it.",
    "CODEC"};
const QCommandLineOption sizeOption {"mb",
    "Make the compressed ROM N MiB long (padded as ORIGINAL pads, or with zeros); refused when "
    "its files do not fit.",
    "N"};

// The codecs the way back writes: the iQue Player's raw DEFLATE is not one of them.
bool readCodec(const QString &text, Codec *codec)
{
    return CodecFile::fromName(text, codec) && *codec != Codec::Deflate;
}

bool readIndex(const QString &text, int *index)
{
    if (text.compare(QLatin1String("END"), Qt::CaseInsensitive) == 0) {
        *index = RomPlan::lastEntry;
        return true;
    }
    bool ok = false;
    *index = text.toInt(&ok);
    return ok && *index >= 0 && !text.startsWith(QLatin1Char('+'));
}

} // namespace

CompressCommand::CompressCommand()
    : RomCommand("compress", "Write a compressed copy of each decompressed ROM.",
        OutputNames::compressedPrefix)
{ }

QList<QCommandLineOption> CompressCommand::options() const
{
    return sharedOptions() << likeOption << filesOption << codecOption << sizeOption;
}

bool CompressCommand::readRanges(const QString &text, QVector<RomPlan::IndexRange> *ranges)
{
    ranges->clear();
    for (const QString &item : text.split(QLatin1Char(','))) {
        const QStringList ends = item.trimmed().split(QLatin1Char('-'));
        RomPlan::IndexRange range;
        if (ends.size() > 2 || !readIndex(ends.first(), &range.first)
            || !readIndex(ends.last(), &range.last) || range.first > range.last)
            return false;
        ranges->append(range);
    }
    return !ranges->isEmpty();
}

int CompressCommand::run(const QCommandLineParser &parser, const QStringList &roms) const
{
    Settings settings;
    QString error = readSettings(parser, roms, settings);
    if (error.isEmpty() && parser.isSet(likeOption) == parser.isSet(filesOption))
        error = QStringLiteral("compress needs --like ORIGINAL or --files RANGES, one of them");
    RomJob::CompressRequest &how = settings.compress;
    if (error.isEmpty() && parser.isSet(likeOption)) {
        how.originalPath = parser.value(likeOption);
        if (how.originalPath.isEmpty())
            error = QStringLiteral("--like needs the original ROM");
        else if (how.originalPath == QLatin1String("-"))
            error = QStringLiteral("ORIGINAL cannot be standard input");
        settings.otherInputs << how.originalPath;
    }
    if (error.isEmpty() && parser.isSet(filesOption)
        && !readRanges(parser.value(filesOption), &how.compressedFiles)) {
        error = QStringLiteral("--files takes table indices such as 10-941,1000-END, not \"%1\"")
                    .arg(parser.value(filesOption));
    }
    if (error.isEmpty() && parser.isSet(codecOption)) {
        how.codecGiven = readCodec(parser.value(codecOption), &how.codec);
        if (!how.codecGiven) {
            error = QStringLiteral("--codec takes yaz0, lzo, ucl, aplib or zlib, not \"%1\"")
                        .arg(parser.value(codecOption));
        }
    }
    if (error.isEmpty() && parser.isSet(sizeOption)) {
        bool ok = false;
        const int megabytes = parser.value(sizeOption).toInt(&ok);
        const int most = int(CompressionJob::maxImageSize >> 20);
        if (!ok || megabytes < 1 || megabytes > most)
            error = QStringLiteral("--mb takes a size in MiB from 1 to %1").arg(most);
        how.targetSize = qint64(megabytes) << 20;
    }
    if (!error.isEmpty())
        return Console::usageError(error, name);
    return runAll(settings);
}

RomJob::Result CompressCommand::runJob(
    const Settings &settings, const RomJob::Request &request, const Progress &progress) const
{
    QThreadPool pool;
    pool.setMaxThreadCount(settings.jobs);
    const CompressionJob::Runner runner = poolRunner(pool);
    const CompressionJob::FilesEncoded encoded = [&](int done, int total) {
        if (done < total)
            progress(QStringLiteral("%1/%2 files encoded").arg(done).arg(total), false);
        else
            progress(QStringLiteral("checking and writing"), true);
        return true;
    };
    return RomJob::compressFile(request, settings.compress, runner, encoded);
}

QString CompressCommand::successLine(
    const RomJob::Request &request, const RomJob::Result &result) const
{
    const QString checksums = result.checksums.repaired
        ? QStringLiteral("checksums repaired for %1").arg(Checksum::chipName(result.checksums.chip))
        : QStringLiteral("checksums left alone: unknown boot chip");
    const QString laidOut = result.likeOriginal
        ? QStringLiteral("%1 compressed (%2 kept as ORIGINAL stores them), %3 moved")
              .arg(result.compressedFiles)
              .arg(result.keptFiles)
              .arg(result.movedFiles)
        : QStringLiteral("%1 compressed, packed").arg(result.compressedFiles);
    return QStringLiteral("%1 -> %2: %3 files, %4, %5")
        .arg(request.romPath, request.outputPath)
        .arg(result.files)
        .arg(laidOut, checksums);
}

// The check cannot be passed by: a compressed ROM whose table does not start as one would be
// refused by the decompression its check runs, and by every user's.
QString CompressCommand::firstEntryAdvice(bool addressGiven) const
{
    if (addressGiven)
        return QStringLiteral("Check the address given with --game or --table.");
    return QStringLiteral("The build string leads to this address: give the table's address with "
                          "--game or --table (compress cannot go on without the expected first "
                          "entry, which decompressing the result would ask for).");
}
