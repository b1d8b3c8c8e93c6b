// Any bytes as a ROM file, through everything the program runs on one: classification, byte-order
// conversion, game detection, the file table at the detected address and at an address taken
// from the input, the checks before a pass, the pass into a fresh 64 MiB image, and the header
// checksum repair. These are the functions the window and the worker call.
#include "bigendian.h"
#include "byteorder.h"
#include "checksum.h"
#include "decompressionpass.h"
#include "filetable.h"

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
    const QVector<FileRecord> files = FileTable::read(rom, address);
    if (files.isEmpty())
        return;
    QByteArray &output = freshOutputImage();
    if (DecompressionPass::findProblem(rom, output.size(), address, files).problem
        != DecompressionPass::Problem::None)
        return;
    for (const FileRecord &file : files)
        DecompressionPass::placeFile(rom, output, address, file);
    if (output.size() > DecompressionPass::maxOutputSize)
        std::abort();

    static quint32 table[Checksum::tableSize];
    Checksum::buildCrcTable(table);
    const int chip = Checksum::bootChipForCrc(Checksum::bootCodeCrc(table, output));
    quint32 crc[2];
    if (Checksum::calculate(output, chip, crc)) {
        const int length = output.size();
        BigEndian::writeWord(output, Checksum::crc1Offset, crc[0]);
        BigEndian::writeWord(output, Checksum::crc2Offset, crc[1]);
        if (output.size() != length)
            std::abort();
    }
    zeroAgain(output, files, address);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    QByteArray rom(reinterpret_cast<const char *>(data), int(size));
    const ByteOrder order = RomByteOrder::classify(rom);
    if (order == ByteOrder::NotRom)
        return 0;
    RomByteOrder::convertWithReports(rom, order, [](qint64) {});
    if (RomByteOrder::classify(rom) != ByteOrder::Z64)
        std::abort();
    FileTable::gameCode(rom);

    qint32 detected = 0;
    if (FileTable::findAddress(rom, &detected))
        decompress(rom, detected);
    // The user may type any address: take one from the last word of the input.
    const qint32 typed = qint32(BigEndian::readWord(rom, rom.size() - 4));
    decompress(rom, typed % (rom.size() + 64));
    return 0;
}
