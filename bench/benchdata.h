#ifndef BENCHDATA_H
#define BENCHDATA_H

#include "romfixture.h"

#include <benchmark/benchmark.h>

#include <QByteArray>

// A ROM shaped like Ocarina of Time: about 1,500 files of code, textures, text, sparse data and
// noise, 1 KB to 300 KB each, about 50 MB decoded and 32 MiB stored. Built once per process; it
// takes a while, as the encoder searches the whole window for every match.
RomFixture &gameLikeRom();

// Files in a game's proportions (textures, code, text, sparse data; about 1,200 compressed ones),
// as many as decode to 32 MB in the compressed ones (as Ocarina of Time's do), stored as the
// games' own compressor stores them: compressing its decompressed image again must give it back
// bit for bit. Not yet built.
constexpr qint64 originalLikeCompressedBytes = 32000000;
RomFixture originalLikeRom();

// Measures the CPU time of the calling thread, so that other processes on a busy machine do not
// count; what they do to caches and memory bandwidth still does.
class CpuTimer
{
public:
    CpuTimer() : start(now()) { }
    double seconds() const { return now() - start; }

private:
    static double now();
    double start;
};

// CPU seconds for one memcpy of bytes, the best of several runs over warm buffers.
double memcpySeconds(qint64 bytes);

// Records beside a benchmark how its throughput compares with memcpy's: 1 means as fast.
void reportAgainstMemcpy(
    benchmark::State &state, qint64 bytesPerIteration, double secondsPerIteration);

#endif // BENCHDATA_H
