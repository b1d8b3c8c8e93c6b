#include "benchdata.h"

#include <QFile>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <ctime>
#include <memory>
#include <vector>

namespace {

constexpr int fileCount = 1500;
constexpr double smallestFile = 1024;
constexpr double largestFile = 300000;

// Sizes spread evenly on a log scale, leaning small, so that the whole comes to about 50 MB.
int fileSize(int i, double largest = largestFile)
{
    const double u = std::pow((i * 0.6180339887) - std::floor(i * 0.6180339887), 1.5);
    return int(smallestFile * std::pow(largest / smallestFile, u));
}

using Generator = QByteArray (*)(int length, quint32 seed);

// File i of a mix: its kind is the mix's entry for i modulo ten.
QByteArray fileOf(const Generator (&mix)[10], int i, double largest)
{
    return mix[i % 10](fileSize(i, largest), quint32(i) + 1);
}

// Code, textures, text, sparse data and noise, four, two, one, two and one in ten.
constexpr Generator everyKind[10] = {RomFixture::codeLike, RomFixture::codeLike,
    RomFixture::codeLike, RomFixture::codeLike, RomFixture::textureLike, RomFixture::textureLike,
    RomFixture::textLike, RomFixture::sparse, RomFixture::sparse, RomFixture::noise};

// A game's compressed files: mostly textures and display data, and code (the code file and its
// overlays), some text, a little sparse data; nothing near-random, which games store as it is.
constexpr Generator gameProportions[10] = {RomFixture::codeLike, RomFixture::codeLike,
    RomFixture::codeLike, RomFixture::codeLike, RomFixture::textureLike, RomFixture::textureLike,
    RomFixture::textureLike, RomFixture::textureLike, RomFixture::textLike, RomFixture::sparse};

QByteArray fileContent(int i)
{
    return fileOf(everyKind, i, largestFile);
}

// Smaller than the mix above, so that about 1,200 of them decode to 32 MB, as in Ocarina of Time.
QByteArray gameProportionContent(int i)
{
    return fileOf(gameProportions, i, 190000);
}

} // namespace

RomFixture &gameLikeRom()
{
    static RomFixture rom = [] {
        RomFixture built(0x7430, "zelda@", 6105);
        built.setMinimumSize(32 << 20);
        for (int i = 0; i < fileCount; ++i)
            built.addFile(fileContent(i),
                i % 25 == 24 ? RomFixture::Storage::Plain : RomFixture::Storage::Compressed);
        built.build();
        return built;
    }();
    return rom;
}

RomFixture originalLikeRom()
{
    RomFixture built(0x7430, "zelda@", 6105);
    built.setMinimumSize(32 << 20);
    built.storeLikeAnOriginal();
    qint64 compressedBytes = 0;
    for (int i = 0; compressedBytes < originalLikeCompressedBytes; ++i) {
        const bool plain = i % 25 == 24;
        const QByteArray content = plain ? fileContent(i) : gameProportionContent(i);
        if (!plain)
            compressedBytes += content.size();
        built.addFile(
            content, plain ? RomFixture::Storage::Plain : RomFixture::Storage::Compressed);
    }
    return built;
}

double CpuTimer::now()
{
    timespec time {};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &time);
    return double(time.tv_sec) + double(time.tv_nsec) * 1e-9;
}

// The fastest of several copies, each pair of buffers freshly allocated: on these machines where
// the pages land changes memcpy's speed by a third, and the fastest is the strictest reference.
double memcpySeconds(qint64 bytes)
{
    double best = 1e9;
    for (int allocation = 0; allocation < 4; ++allocation) {
        std::vector<char> from(size_t(bytes), 1), to(size_t(bytes), 0);
        for (int run = 0; run < 5; ++run) {
            const CpuTimer timer;
            std::memcpy(to.data(), from.data(), size_t(bytes));
            benchmark::ClobberMemory();
            best = std::min(best, timer.seconds());
        }
    }
    return best;
}

void reportAgainstMemcpy(
    benchmark::State &state, qint64 bytesPerIteration, double secondsPerIteration)
{
    state.SetBytesProcessed(qint64(state.iterations()) * bytesPerIteration);
    const double reference = memcpySeconds(bytesPerIteration);
    state.counters["memcpy_x"] = secondsPerIteration / reference; // how many memcpys it takes
    state.counters["of_memcpy"] = reference / secondsPerIteration; // throughput as a share
}
