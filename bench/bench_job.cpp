// The command line's whole job on a 32 MiB game-like ROM file, beside a floor measured in the same
// run: reading the ROM, copying as many bytes as the files decode to into a fresh 64 MiB image
// and writing that image. And the batch: four ROMs with two jobs at once against one at a time.
// And the way back: tidepool-cli compress --like on a ROM stored as the games' own compressor
// stores it, whose compressed files decode to 32 MB, with two threads and with one.
#include "benchdata.h"
#include "decompresscommand.h"
#include "imagebuffer.h"
#include "outputfile.h"
#include "romjob.h"
#include "zeropagedimage.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <functional>

namespace {

constexpr qint64 imageSize = 64 << 20;

struct GameLikeFile
{
    QTemporaryDir dir;
    QString path;
    qint64 decodedBytes = 0;

    GameLikeFile()
    {
        RomFixture &fixture = gameLikeRom();
        for (const RomFixture::File &file : fixture.entries())
            decodedBytes += file.content.size();
        path = dir.filePath(QStringLiteral("game.z64"));
        QFile file(path);
        const QByteArray rom = fixture.build();
        if (!file.open(QFile::WriteOnly) || file.write(rom) != rom.size())
            qFatal("cannot write the bench ROM");
    }
};

GameLikeFile &gameLikeFile()
{
    static GameLikeFile file;
    return file;
}

// What no job on this ROM can go below, all of it inside the timed part as in the job, freeing
// included: the ROM read into memory, as many bytes as the files decode to copied from it into
// a fresh image of zero pages, and the image written.
double floorSeconds(const GameLikeFile &game, const QString &out)
{
    const CpuTimer timer;
    {
        QFile in(game.path);
        in.open(QFile::ReadOnly);
        QByteArray rom(int(in.size()), Qt::Uninitialized);
        if (in.read(rom.data(), rom.size()) != rom.size())
            qFatal("cannot read the bench ROM");
        ZeroPagedImage image(imageSize);
        for (qint64 copied = 0; copied < game.decodedBytes;) {
            const qint64 chunk = std::min<qint64>(rom.size(), game.decodedBytes - copied);
            std::memcpy(image.data() + copied, rom.constData(), size_t(chunk));
            copied += chunk;
        }
        // The job's own writer: a fresh file, one write, flushed to the disk, put in place.
        OutputFile file(out);
        if (!file.open().isEmpty() || !file.write(image.constData(), imageSize).isEmpty())
            qFatal("cannot write the floor's image");
    }
    return timer.seconds();
}

void wholeJobAgainstFloor(benchmark::State &state)
{
    GameLikeFile &game = gameLikeFile();
    RomJob::Request request;
    request.romPath = game.path;
    request.outputPath = game.dir.filePath(QStringLiteral("dec_game.z64"));
    request.replaceOutput = true;
    double jobSeconds = 0;
    double floor = 0;
    for (auto _ : state) {
        floor += floorSeconds(game, game.dir.filePath(QStringLiteral("floor.z64")));
        const CpuTimer timer;
        if (!RomJob::decompressFile(request).ok())
            state.SkipWithError("the job failed");
        jobSeconds += timer.seconds();
    }
    const double iterations = double(state.iterations());
    state.counters["job_ms"] = 1e3 * jobSeconds / iterations;
    state.counters["floor_ms"] = 1e3 * floor / iterations;
    state.counters["job_per_floor"] = jobSeconds / floor;
}

double batchSeconds(const DecompressCommand::Settings &settings)
{
    const auto start = std::chrono::steady_clock::now();
    if (DecompressCommand::run(settings) != 0)
        qFatal("the batch failed");
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// Wall time, as parallel jobs are about waiting less; the ratio is what counts.
void batchOfFourTwoAtOnce(benchmark::State &state)
{
    GameLikeFile &game = gameLikeFile();
    DecompressCommand::Settings settings;
    for (int i = 0; i < 4; ++i) {
        const QString copy = game.dir.filePath(QStringLiteral("batch%1.z64").arg(i));
        QFile::remove(copy);
        QFile::copy(game.path, copy);
        settings.roms << copy;
    }
    QDir(game.dir.path()).mkpath(QStringLiteral("out"));
    settings.directory = game.dir.filePath(QStringLiteral("out"));
    settings.force = true;
    settings.quiet = true;
    double one = 0;
    double two = 0;
    for (auto _ : state) {
        settings.jobs = 1;
        one += batchSeconds(settings);
        settings.jobs = 2;
        two += batchSeconds(settings);
    }
    state.counters["speedup_j2"] = one / two;
}

// The original-like ROM, its decompressed image made with the program's own decompression, and
// that image with ten of its compressed files edited.
struct RoundTripFiles
{
    QTemporaryDir dir;
    QString original = dir.filePath(QStringLiteral("original.z64"));
    QString decompressed = dir.filePath(QStringLiteral("decompressed.z64"));
    QString edited = dir.filePath(QStringLiteral("edited.z64"));
    QString output = dir.filePath(QStringLiteral("output.z64"));
    RomFixture fixture = originalLikeRom();
    QByteArray originalBytes = fixture.build();

    RoundTripFiles()
    {
        write(original, originalBytes);
        RomJob::Request request;
        request.romPath = original;
        request.outputPath = decompressed;
        if (!RomJob::decompressFile(request).ok())
            qFatal("cannot decompress the original-like ROM");
        QFile file(decompressed);
        if (!file.open(QFile::ReadOnly))
            qFatal("cannot read the decompressed ROM");
        QByteArray image = file.readAll();
        int editedFiles = 0;
        for (const RomFixture::File &entry : fixture.entries()) {
            if (entry.storage != RomFixture::Storage::Compressed || editedFiles == 10)
                continue;
            image.replace((entry.virtualStart + entry.virtualEnd) / 2, 4, "EDIT");
            ++editedFiles;
        }
        write(edited, image);
    }

    static void write(const QString &path, const QByteArray &bytes)
    {
        QFile file(path);
        if (!file.open(QFile::WriteOnly) || file.write(bytes) != bytes.size())
            qFatal("cannot write %s", qPrintable(path));
    }
};

// Wall time of the whole program, as the threads are about waiting less.
double cliSeconds(const QStringList &arguments)
{
    const auto start = std::chrono::steady_clock::now();
    QProcess cli;
    cli.start(QStringLiteral(TIDEPOOL_CLI), arguments);
    if (!cli.waitForFinished(60000) || cli.exitStatus() != QProcess::NormalExit
        || cli.exitCode() != 0)
        qFatal("tidepool-cli failed: %s", cli.readAllStandardError().constData());
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

double compressSeconds(const RoundTripFiles &files, const QString &rom, int jobs)
{
    return cliSeconds({QStringLiteral("compress"), QStringLiteral("-f"), QStringLiteral("-j"),
        QString::number(jobs), QStringLiteral("--like"), files.original, QStringLiteral("-o"),
        files.output, rom});
}

double decompressSeconds(const RoundTripFiles &files)
{
    return cliSeconds({QStringLiteral("decompress"), QStringLiteral("-f"), QStringLiteral("-o"),
        files.output, files.original});
}

RoundTripFiles &roundTripFiles()
{
    static RoundTripFiles files;
    return files;
}

// The way back like the original, untouched and with ten files edited, beside decompressing the
// original in the same run: files that did not change keep the original's bytes, found by
// decoding, so both should take about as long as decompressing.
void compressLikeTheOriginal(benchmark::State &state)
{
    RoundTripFiles &files = roundTripFiles();
    double untouched = 0;
    double edited = 0;
    double decompressing = 0;
    for (auto _ : state) {
        decompressing += decompressSeconds(files);
        edited += compressSeconds(files, files.edited, 2);
        untouched += compressSeconds(files, files.decompressed, 2);
    }
    QFile result(files.output);
    if (!result.open(QFile::ReadOnly) || result.readAll() != files.originalBytes)
        state.SkipWithError("the round trip did not give the original back");
    const double iterations = double(state.iterations());
    state.counters["wall_ms_untouched"] = 1e3 * untouched / iterations;
    state.counters["wall_ms_ten_edited"] = 1e3 * edited / iterations;
    state.counters["wall_ms_decompress"] = 1e3 * decompressing / iterations;
    state.counters["untouched_x_decompress"] = untouched / decompressing;
    state.counters["edited_x_decompress"] = edited / decompressing;
}

// A compression with -j 2 and with -j 1 in each iteration: their wall times, the speedup, the
// MB/s of the decoded bytes with two threads and how many copies of them that takes.
void timeOneAndTwoThreads(
    benchmark::State &state, const std::function<double(int jobs)> &seconds, qint64 decodedBytes)
{
    double one = 0;
    double two = 0;
    for (auto _ : state) {
        two += seconds(2);
        one += seconds(1);
    }
    const double iterations = double(state.iterations());
    state.counters["wall_ms_j2"] = 1e3 * two / iterations;
    state.counters["wall_ms_j1"] = 1e3 * one / iterations;
    state.counters["speedup_j2"] = one / two;
    state.counters["MB_per_s_j2"] = double(decodedBytes) / 1e6 / (two / iterations);
    state.counters["memcpy_x_j2"] = two / iterations / memcpySeconds(decodedBytes);
}

// Everything encoded (--files from the first file after the table to the end), with two threads
// and with one.
void compressEverything(benchmark::State &state)
{
    RoundTripFiles &files = roundTripFiles();
    const auto seconds = [&](int jobs) {
        return cliSeconds({QStringLiteral("compress"), QStringLiteral("-f"), QStringLiteral("-j"),
            QString::number(jobs), QStringLiteral("--files"), QStringLiteral("3-END"),
            QStringLiteral("-o"), files.output, files.decompressed});
    };
    timeOneAndTwoThreads(state, seconds, originalLikeCompressedBytes);
}

// A decompressed ROM whose last file is 16 MiB of code, that file alone encoded: a file that large
// is encoded in parts, on both threads with -j 2.
void compressOneLargeFile(benchmark::State &state)
{
    constexpr int length = 16 << 20;
    static int largeFile = 0; // its table index
    static const QString rom = [] {
        RomFixture fixture = RomFixture::ocarinaLike();
        fixture.addFile(RomFixture::codeLike(length, 21), RomFixture::Storage::Plain);
        const QByteArray image = fixture.expectedOutput();
        largeFile = fixture.entries().size() - 1;
        const QString path = QDir::temp().filePath(QStringLiteral("tidepool-bench-large.z64"));
        RoundTripFiles::write(path, image);
        return path;
    }();
    const QString output = QDir::temp().filePath(QStringLiteral("tidepool-bench-large-out.z64"));
    const auto seconds = [&](int jobs) {
        return cliSeconds({QStringLiteral("compress"), QStringLiteral("-f"), QStringLiteral("-j"),
            QString::number(jobs), QStringLiteral("--files"), QString::number(largeFile),
            QStringLiteral("-o"), output, rom});
    };
    timeOneAndTwoThreads(state, seconds, length);
}

} // namespace

BENCHMARK(compressLikeTheOriginal)->Unit(benchmark::kMillisecond)->Iterations(5)->UseRealTime();
BENCHMARK(compressEverything)->Unit(benchmark::kMillisecond)->Iterations(5)->UseRealTime();
BENCHMARK(compressOneLargeFile)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
BENCHMARK(wholeJobAgainstFloor)->Unit(benchmark::kMillisecond)->Iterations(8);
BENCHMARK(batchOfFourTwoAtOnce)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
BENCHMARK_MAIN();
