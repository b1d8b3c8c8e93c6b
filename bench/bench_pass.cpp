// The whole decompression pass on an Ocarina-of-Time-sized ROM, pauses excluded, and the header
// checksum plus the write of the 64 MiB image, each against memcpy.
#include "benchdata.h"
#include "checksumrepair.h"
#include "decompressionjob.h"
#include "decompressionpass.h"
#include "outputfile.h"
#include "romjob.h"
#include "romplan.h"

#include <QTemporaryDir>

namespace {

void decompressionPass(benchmark::State &state)
{
    RomFixture &fixture = gameLikeRom();
    const QByteArray rom = fixture.build();
    qint64 decodedBytes = 0;
    for (const RomFixture::File &file : fixture.entries())
        decodedBytes += file.content.size();
    double seconds = 0;
    for (auto _ : state) {
        QByteArray output = DecompressionPass::newOutputImage();
        const CpuTimer timer;
        const RomPlan::Plan plan
            = RomPlan::prepare(rom, RomPlan::TableChoice::at(fixture.tableAddress(), false));
        if (!plan.ok())
            state.SkipWithError("the table was refused");
        ByteArrayImage image(output);
        DecompressionJob::runPass(rom, image, plan);
        benchmark::ClobberMemory();
        seconds += timer.seconds();
    }
    state.counters["files"] = double(fixture.entries().size());
    state.counters["rom_MiB"] = double(rom.size()) / (1 << 20);
    state.counters["decoded_MB"] = double(decodedBytes) / 1e6;
    reportAgainstMemcpy(state, decodedBytes, seconds / double(state.iterations()));
}

void checksumAndSave(benchmark::State &state)
{
    QByteArray output = gameLikeRom().expectedOutput();
    QTemporaryDir dir;
    double seconds = 0;
    for (auto _ : state) {
        const CpuTimer timer;
        HeaderChecksums::repair(output);
        OutputFile file(dir.filePath("out.z64"));
        if (!file.open().isEmpty() || !file.write(output).isEmpty())
            state.SkipWithError("cannot write");
        seconds += timer.seconds();
    }
    reportAgainstMemcpy(state, output.size(), seconds / double(state.iterations()));
}

} // namespace

BENCHMARK(decompressionPass)->Unit(benchmark::kMillisecond)->MinTime(3.0);
BENCHMARK(checksumAndSave)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
