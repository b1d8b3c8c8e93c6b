// Any bytes as the original compressed ROM of the way back. The input is decompressed as the
// command line would, then compressed again like it and packed, with one word of the
// decompressed ROM's table and one of the original's table changed as the input's last 16 bytes
// say (stale, hostile or edited entries on either side). No input may make the job read or write
// out of bounds, and a result that the job itself finds wrong is a bug (a refusal is not).
#include "bigendian.h"
#include "byteorder.h"
#include "compressionjob.h"
#include "decompressionjob.h"
#include "decompressionpass.h"
#include "filetable.h"
#include "gamepresets.h"
#include "imagebuffer.h"
#include "romplan.h"
#include "zeropagedimage.h"

#include <algorithm>
#include <cstdlib>

namespace {

// The decompressed ROM, cut after its last file (the way back reads a ROM of any length).
QByteArray decompressed(const QByteArray &original, qint32 address)
{
    const RomPlan::Plan plan = RomPlan::prepare(original, RomPlan::TableChoice::at(address, false));
    if (!plan.ok())
        return QByteArray();
    ZeroPagedImage image(DecompressionPass::outputImageSize);
    DecompressionJob::run(original, image, plan);
    qint64 end = address + qint64(FileTable::entrySize) * (plan.files.size() + 1);
    for (const FileRecord &file : plan.files)
        end = std::max<qint64>(end, file.virtualEnd);
    end = std::min<qint64>(std::max<qint64>(end, 0x1000), image.size());
    return QByteArray(image.constData(), int(end));
}

// Changes one word of the table: the selector picks the entry and the word.
void changeWord(QByteArray &rom, qint32 address, quint32 selector, quint32 value)
{
    const int entries = std::max(1, FileTable::read(rom, address).size());
    const qint64 at = qint64(address) + FileTable::entrySize * qint64(selector % quint32(entries))
        + 4 * ((selector >> 16) % 4);
    if (at >= 0 && at + 4 <= rom.size())
        BigEndian::writeWord(rom, at, value);
}

void compressBoth(const QByteArray &rom, qint32 address, const QByteArray &original)
{
    RomPlan::Layout like;
    like.likeOriginal = true;
    like.original = &original;
    RomPlan::Layout packed;
    packed.compressedFiles = {{3, RomPlan::lastEntry}};
    for (const RomPlan::Layout &layout : {like, packed}) {
        const RomPlan::CompressionPlan plan
            = RomPlan::prepareCompression(rom, RomPlan::TableChoice::at(address, false), layout);
        if (!plan.ok())
            continue;
        const CompressionJob::Result result
            = CompressionJob::compress(rom, layout.likeOriginal ? original : QByteArray(), plan);
        if (result.refusal.kind == Refusal::Kind::Result
            && result.refusal.text.contains(QLatin1String("bug in Tidepool")))
            std::abort();
        if (result.ok() && result.image.size() > CompressionJob::maxImageSize)
            std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    QByteArray original(reinterpret_cast<const char *>(data), int(size));
    const ByteOrder order = RomByteOrder::toBigEndian(original);
    if (order == ByteOrder::NotRom || size < 16)
        return 0;
    const GamePresets::Detection detected = GamePresets::detect(original);
    if (!detected.found)
        return 0;
    const qint32 address = detected.address;
    QByteArray rom = decompressed(original, address);
    if (rom.isEmpty())
        return 0;
    const qint64 tail = original.size() - 16;
    changeWord(
        rom, address, BigEndian::readWord(original, tail), BigEndian::readWord(original, tail + 4));
    changeWord(original, address, BigEndian::readWord(original, tail + 8),
        BigEndian::readWord(original, tail + 12));
    compressBoth(rom, address, original);
    return 0;
}
