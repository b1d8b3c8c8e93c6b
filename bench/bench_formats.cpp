// The format code against memcpy: Yaz0 decoding of game-like files, the hack compressor's codecs
// each way, byte-order conversion and the header checksum.
#include "benchdata.h"
#include "byteorder.h"
#include "checksum.h"
#include "codec.h"
#include "deflate.h"
#include "yaz0.h"
#include "yaz0matchingencoder.h"
#include "yaz0rule.h"

#include <atomic>
#include <chrono>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include <zlib.h>

namespace {

struct Stream
{
    QByteArray bytes; // shares the ROM's data
    qint32 declaredSize;
};

std::vector<Stream> compressedStreams(qint64 *decodedBytes)
{
    RomFixture &fixture = gameLikeRom();
    const QByteArray rom = fixture.build();
    std::vector<Stream> streams;
    *decodedBytes = 0;
    for (const RomFixture::File &file : fixture.entries()) {
        if (file.storage != RomFixture::Storage::Compressed)
            continue;
        const int start = file.physicalStart + Yaz0::headerSize;
        streams.push_back({rom.mid(start, file.physicalEnd - start), file.content.size()});
        *decodedBytes += file.content.size();
    }
    return streams;
}

void yaz0Decode(benchmark::State &state)
{
    qint64 decodedBytes = 0;
    const std::vector<Stream> streams = compressedStreams(&decodedBytes);
    qint64 storedBytes = 0;
    for (const Stream &s : streams)
        storedBytes += s.bytes.size();
    double seconds = 0;
    for (auto _ : state) {
        const CpuTimer timer;
        for (const Stream &s : streams)
            benchmark::DoNotOptimize(decodeYaz0(s.bytes, s.declaredSize));
        seconds += timer.seconds();
    }
    state.counters["files"] = double(streams.size());
    state.counters["stored_share"] = double(storedBytes) / double(decodedBytes);
    reportAgainstMemcpy(state, decodedBytes, seconds / double(state.iterations()));
}

// The same files decoded into one reused buffer, as the pass decodes into the output image; with
// the portable loop too, for processors without SSSE3 and other architectures.
void yaz0DecodeInPlace(benchmark::State &state, Yaz0::Kernel kernel)
{
    qint64 decodedBytes = 0;
    const std::vector<Stream> streams = compressedStreams(&decodedBytes);
    QByteArray buffer(Yaz0::maxDeclaredSize / 16, '\0');
    double seconds = 0;
    for (auto _ : state) {
        const CpuTimer timer;
        for (const Stream &s : streams) {
            benchmark::DoNotOptimize(Yaz0::decodeInto(
                s.bytes.constData(), s.bytes.size(), s.declaredSize, buffer.data(), kernel));
        }
        benchmark::ClobberMemory();
        seconds += timer.seconds();
    }
    reportAgainstMemcpy(state, decodedBytes, seconds / double(state.iterations()));
}

void convert(benchmark::State &state, ByteOrder order)
{
    constexpr qint64 length = 32 << 20;
    QByteArray image(int(length), '\x5A');
    double seconds = 0;
    for (auto _ : state) {
        const CpuTimer timer;
        RomByteOrder::convertToBigEndian(image.data(), length, order);
        benchmark::ClobberMemory();
        seconds += timer.seconds();
    }
    reportAgainstMemcpy(state, length, seconds / double(state.iterations()));
}

void checksum(benchmark::State &state)
{
    const int chip = int(state.range(0));
    QByteArray image = RomFixture::codeLike(int(Checksum::checkedEnd), 7);
    image.replace(0x40, 4032, bootCodeFor(chip));
    quint32 table[Checksum::tableSize];
    Checksum::buildCrcTable(table);
    double seconds = 0;
    for (auto _ : state) {
        const CpuTimer timer;
        quint32 result[2];
        const int found = Checksum::bootChipForCrc(Checksum::bootCodeCrc(table, image));
        benchmark::DoNotOptimize(Checksum::calculate(image, found, result));
        benchmark::DoNotOptimize(result);
        seconds += timer.seconds();
    }
    reportAgainstMemcpy(
        state, Checksum::checkedEnd - Checksum::checkedStart, seconds / double(state.iterations()));
}

} // namespace

// The matching encoder on the decoded contents of the compressed files, one thread; and the rule
// written out plainly (the tests' transcription) on the first files of the same set, per byte,
// so that the speed-up shows without a minute's wait.
void yaz0MatchingEncode(benchmark::State &state)
{
    std::vector<QByteArray> contents;
    qint64 bytes = 0;
    for (const RomFixture::File &file : gameLikeRom().entries()) {
        if (file.storage == RomFixture::Storage::Compressed) {
            contents.push_back(file.content);
            bytes += file.content.size();
        }
    }
    double seconds = 0;
    for (auto _ : state) {
        const CpuTimer timer;
        for (const QByteArray &content : contents)
            benchmark::DoNotOptimize(
                Yaz0MatchingEncoder::encodeStream(content.constData(), content.size()));
        seconds += timer.seconds();
    }
    seconds /= double(state.iterations());

    qint64 sampleBytes = 0;
    double fastSample = 0;
    double ruleSample = 0;
    for (size_t i = 0; i < contents.size() && sampleBytes < (1 << 20); ++i) {
        const QByteArray &content = contents[i];
        const CpuTimer fast;
        benchmark::DoNotOptimize(
            Yaz0MatchingEncoder::encodeStream(content.constData(), content.size()));
        fastSample += fast.seconds();
        const CpuTimer rule;
        benchmark::DoNotOptimize(Yaz0Rule::encodeStream(content));
        ruleSample += rule.seconds();
        sampleBytes += content.size();
    }
    state.counters["files"] = double(contents.size());
    state.counters["MB_per_s"] = double(bytes) / 1e6 / seconds;
    state.counters["times_faster_than_rule"] = ruleSample / fastSample;
    reportAgainstMemcpy(state, bytes, seconds);
}

void reportEncoding(benchmark::State &state, qint64 bytes, double seconds)
{
    state.counters["MB_per_s"] = double(bytes) / 1e6 / seconds;
    reportAgainstMemcpy(state, bytes, seconds);
}

QByteArray largeFileOfKind(int kind)
{
    constexpr int length = 16 << 20;
    return kind == 0 ? RomFixture::codeLike(length, 1)
        : kind == 1  ? RomFixture::textureLike(length, 2)
        : kind == 2  ? RomFixture::textLike(length, 3)
        : kind == 3  ? RomFixture::sparse(length, 4)
                     : RomFixture::noise(length, 5);
}

// The matching encoder on one 16 MiB file of each kind, one thread; near-random data gives the
// search nothing to skip.
void yaz0MatchingEncodeLargeFile(benchmark::State &state, int kind)
{
    const QByteArray content = largeFileOfKind(kind);
    double seconds = 0;
    for (auto _ : state) {
        const CpuTimer timer;
        benchmark::DoNotOptimize(
            Yaz0MatchingEncoder::encodeStream(content.constData(), content.size()));
        seconds += timer.seconds();
    }
    reportEncoding(state, content.size(), seconds / double(state.iterations()));
}

// The same file encoded in parts on two threads, as the way back encodes a large file (wall
// time: the parts, then joining them).
void yaz0MatchingEncodeLargeFileInParts(benchmark::State &state, int kind)
{
    const QByteArray content = largeFileOfKind(kind);
    double seconds = 0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        Yaz0MatchingEncoder::PartedFile parted(content);
        std::atomic<int> next {0};
        const auto work = [&] {
            for (int part = next++; part < parted.parts(); part = next++)
                parted.encodePart(part);
        };
        std::thread helper(work);
        work();
        helper.join();
        benchmark::DoNotOptimize(parted.file());
        seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    }
    reportEncoding(state, content.size(), seconds / double(state.iterations()));
}

// Each kind of large file, whole on one thread and in parts on two.
const bool largeFileBenchmarks = [] {
    const char *const kinds[] = {"code", "texture", "text", "sparse", "noise"};
    for (int kind = 0; kind < 5; ++kind) {
        const std::string name = kinds[kind];
        benchmark::RegisterBenchmark(
            ("yaz0MatchingEncodeLargeFile/" + name).c_str(), yaz0MatchingEncodeLargeFile, kind)
            ->Unit(benchmark::kMillisecond)
            ->Iterations(1);
        benchmark::RegisterBenchmark(("yaz0MatchingEncodeLargeFileInParts/" + name).c_str(),
            yaz0MatchingEncodeLargeFileInParts, kind)
            ->Unit(benchmark::kMillisecond)
            ->Iterations(1)
            ->UseRealTime();
    }
    return true;
}();

// The same files as raw DEFLATE streams, the iQue Player versions' way, decoded by the program
// (libdeflate) and, as a reference, by zlib's raw inflate.
void deflateDecode(benchmark::State &state, bool withZlib)
{
    std::vector<std::pair<QByteArray, int>> streams; // stream, decoded length
    qint64 bytes = 0;
    for (const RomFixture::File &file : gameLikeRom().entries()) {
        if (file.storage == RomFixture::Storage::Compressed) {
            streams.emplace_back(deflateStream(file.content), file.content.size());
            bytes += file.content.size();
        }
    }
    QByteArray buffer(Yaz0::maxDeclaredSize / 16, '\0');
    double seconds = 0;
    for (auto _ : state) {
        const CpuTimer timer;
        for (const auto &[stream, length] : streams) {
            if (withZlib) {
                z_stream z {};
                inflateInit2(&z, -15);
                z.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(stream.constData()));
                z.avail_in = uInt(stream.size());
                z.next_out = reinterpret_cast<Bytef *>(buffer.data());
                z.avail_out = uInt(length);
                if (inflate(&z, Z_FINISH) != Z_STREAM_END)
                    state.SkipWithError("zlib could not inflate a file");
                inflateEnd(&z);
            } else if (Deflate::decodeInto(stream.constData(), stream.size(), buffer.data(), length)
                != Deflate::Outcome::Decoded) {
                state.SkipWithError("a file did not decode");
            }
        }
        benchmark::ClobberMemory();
        seconds += timer.seconds();
    }
    state.counters["files"] = double(streams.size());
    reportAgainstMemcpy(state, bytes, seconds / double(state.iterations()));
}

// The hack compressor's codecs: game-like files (the first 16 MB of them) in each codec, decoded
// whole by the program as a decompression's pass decodes them, and encoded as the way back
// encodes them.
struct CodecFiles
{
    std::vector<std::pair<QByteArray, QByteArray>> files; // stream, decoded
    qint64 decodedBytes = 0;
    qint64 storedBytes = 0;
    double encodeSeconds = 0;
};

const CodecFiles &codecFiles(Codec codec)
{
    static std::map<Codec, CodecFiles> made;
    CodecFiles &files = made[codec];
    if (!files.files.empty())
        return files;
    for (const RomFixture::File &file : gameLikeRom().entries()) {
        if (file.storage != RomFixture::Storage::Compressed || files.decodedBytes > 16000000)
            continue;
        const CpuTimer timer;
        const QByteArray stored = CodecFile::encodeFile(codec, file.content);
        files.encodeSeconds += timer.seconds();
        files.files.emplace_back(stored.mid(CodecFile::hackHeaderSize), file.content);
        files.decodedBytes += file.content.size();
        files.storedBytes += stored.size();
    }
    return files;
}

void hackCodecDecode(benchmark::State &state, Codec codec)
{
    const CodecFiles &files = codecFiles(codec);
    QByteArray buffer(Yaz0::maxDeclaredSize / 16, '\0');
    double seconds = 0;
    for (auto _ : state) {
        const CpuTimer timer;
        for (const auto &[stream, decoded] : files.files) {
            if (CodecFile::decodeWhole(
                    codec, stream.constData(), stream.size(), buffer.data(), decoded.size())
                != DecodeOutcome::Decoded)
                state.SkipWithError("a file did not decode");
        }
        benchmark::ClobberMemory();
        seconds += timer.seconds();
    }
    state.counters["stored_per_decoded"] = double(files.storedBytes) / double(files.decodedBytes);
    state.counters["encode_MB_per_s"] = double(files.decodedBytes) / 1e6 / files.encodeSeconds;
    reportAgainstMemcpy(state, files.decodedBytes, seconds / double(state.iterations()));
}

BENCHMARK(yaz0Decode)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK_CAPTURE(hackCodecDecode, lzo, Codec::Lzo)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(hackCodecDecode, ucl, Codec::Ucl)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(hackCodecDecode, aplib, Codec::Aplib)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(hackCodecDecode, zlib, Codec::Zlib)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(yaz0DecodeInPlace, fastest, Yaz0::Kernel::Fastest)
    ->Unit(benchmark::kMillisecond)
    ->MinTime(2.0);
BENCHMARK_CAPTURE(yaz0DecodeInPlace, portable, Yaz0::Kernel::Portable)
    ->Unit(benchmark::kMillisecond)
    ->MinTime(2.0);
BENCHMARK_CAPTURE(convert, v64, ByteOrder::V64)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(convert, n64, ByteOrder::N64)->Unit(benchmark::kMillisecond);
BENCHMARK(checksum)->Arg(6101)->Arg(6102)->Arg(6103)->Arg(6105)->Arg(6106)->Unit(
    benchmark::kMicrosecond);
BENCHMARK_CAPTURE(deflateDecode, libdeflate, false)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(deflateDecode, zlib, true)->Unit(benchmark::kMillisecond);
BENCHMARK(yaz0MatchingEncode)->Unit(benchmark::kMillisecond)->Iterations(2);
BENCHMARK_MAIN();
