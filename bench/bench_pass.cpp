// The whole decompression pass on an Ocarina-of-Time-sized ROM, pauses excluded, and the header
// checksum plus the write of the 64 MiB image, each against memcpy.
#include "benchdata.h"
#include "checksum.h"
#include "decompressionpass.h"
#include "filetable.h"

#include <QSaveFile>
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
        QByteArray output(DecompressionPass::outputImageSize, '\0');
        const CpuTimer timer;
        const QVector<FileRecord> files = FileTable::read(rom, fixture.tableAddress());
        if (DecompressionPass::findProblem(rom, output.size(), fixture.tableAddress(), files)
                .problem
            != DecompressionPass::Problem::None)
            state.SkipWithError("the table was refused");
        for (const FileRecord &file : files)
            DecompressionPass::placeFile(rom, output, fixture.tableAddress(), file);
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
    quint32 table[Checksum::tableSize];
    double seconds = 0;
    for (auto _ : state) {
        const CpuTimer timer;
        Checksum::buildCrcTable(table);
        const int chip = Checksum::bootChipForCrc(Checksum::bootCodeCrc(table, output));
        quint32 crc[2];
        Checksum::calculate(output, chip, crc);
        QSaveFile file(dir.filePath("out.z64"));
        if (!file.open(QFile::WriteOnly) || file.write(output) != output.size() || !file.commit())
            state.SkipWithError("cannot write");
        seconds += timer.seconds();
    }
    reportAgainstMemcpy(state, output.size(), seconds / double(state.iterations()));
}

} // namespace

BENCHMARK(decompressionPass)->Unit(benchmark::kMillisecond)->MinTime(3.0);
BENCHMARK(checksumAndSave)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
