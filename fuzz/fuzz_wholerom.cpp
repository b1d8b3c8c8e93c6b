// Any bytes as a ROM file, through everything the program runs on one: classification, byte-order
// conversion, game detection, the file table at the detected address and at an address taken
// from the input, the checks before a pass, the pass into a fresh 64 MiB image, and the header
// checksum repair (the decompression job that every front end runs), and what the info command
// says about it.
#include "bigendian.h"
#include "byteorder.h"
#include "checksum.h"
#include "checksumrepair.h"
#include "decompressionjob.h"
#include "decompressionpass.h"
#include "filetable.h"
#include "gamepresets.h"
#include "rominfo.h"
#include "romplan.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace {

// Making and zeroing a 64 MiB image for every input would take most of the fuzzer's time, so one
// image is kept and the bytes a pass wrote are zeroed again afterwards: every pass still starts
// from 64 MiB of zeros.
QByteArray &freshOutputImage()
{
    static QByteArray image(DecompressionPass::outputImageSize, '\0');
    return image;
}

void zeroAgain(QByteArray &output, const QVector<FileRecord> &files, qint32 address)
{
    if (output.size() != DecompressionPass::outputImageSize) {
        output = QByteArray(DecompressionPass::outputImageSize, '\0');
        return;
    }
    char *data = output.data();
    std::memset(data + Checksum::crc1Offset, 0, 8);
    for (const FileRecord &file : files) {
        const qint64 start = std::clamp<qint64>(file.virtualStart, 0, output.size());
        const qint64 end = std::clamp<qint64>(file.virtualEnd, start, output.size());
        std::memset(data + start, 0, size_t(end - start));
        const qint64 entry
            = std::clamp<qint64>(qint64(address) + 16 * file.index + 8, 0, output.size() - 8);
        std::memset(data + entry, 0, 8);
    }
}

void decompress(const QByteArray &rom, qint32 address)
{
    FileTable::startsWithExpectedEntry(rom, address);
    QByteArray &output = freshOutputImage();
    const RomPlan::Plan plan = RomPlan::prepare(rom, RomPlan::TableChoice::at(address, false));
    if (!plan.ok())
        return;
    ByteArrayImage image(output);
    const DecompressionJob::Outcome outcome = DecompressionJob::run(rom, image, plan);
    if (!outcome.finished || output.size() > DecompressionPass::maxOutputSize)
        std::abort();
    zeroAgain(output, plan.files, address);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    QByteArray rom(reinterpret_cast<const char *>(data), int(size));
    RomInfo::inspect(rom);
    const ByteOrder order = RomByteOrder::classify(rom);
    if (order == ByteOrder::NotRom)
        return 0;
    RomByteOrder::convertWithReports(rom, order, [](qint64) {});
    if (RomByteOrder::classify(rom) != ByteOrder::Z64)
        std::abort();
    FileTable::gameCode(rom);

    const GamePresets::Detection detected = GamePresets::detect(rom);
    if (detected.found)
        decompress(rom, detected.address);
    // The user may type any address: take one from the last word of the input.
    const qint32 typed = qint32(BigEndian::readWord(rom, rom.size() - 4));
    decompress(rom, typed % (rom.size() + 64));
    return 0;
}
