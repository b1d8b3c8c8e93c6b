// The file placement over any ROM and table: whatever the checks accept must run without harm,
// keep the output image within its bound, and give the bytes of the plain rules (the tests'
// reference pass), however many files come out shorter or longer than their ranges.
#include "decompressionpass.h"
#include "filetable.h"
#include "fuzzinput.h"
#include "referencepass.h"
#include "yaz0.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzInput input(data, size);
    const qint32 rawAddress = input.takeInt();
    const qint32 rawOutputSize = input.takeInt();
    const QByteArray rom = input.rest();
    const qint32 address = (rawAddress & 0x7FFFFFFF) % (rom.size() + 32);
    // A small output image keeps runs quick; the placement rules do not depend on its size.
    const qint64 outputSize = (rawOutputSize & 0x7FFFFFFF) % 0x40000;

    const QVector<FileRecord> files = FileTable::read(rom, address);
    if (DecompressionPass::findProblem(rom, outputSize, address, files).problem
        != DecompressionPass::Problem::None)
        return 0;
    // Files that decode to many megabytes are accepted but slow the search down; skip them.
    for (const FileRecord &file : files) {
        if (file.physicalEnd != 0 && file.physicalEnd != -1
            && qint64(file.physicalStart) + 8 <= rom.size()) {
            const uchar *p = reinterpret_cast<const uchar *>(rom.constData()) + file.physicalStart;
            const quint32 declared = quint32(p[4]) << 24 | p[5] << 16 | p[6] << 8 | p[7];
            if (declared > 0x400000 && declared < 0x80000000u)
                return 0;
        }
    }
    QByteArray output(int(outputSize), '\0');
    {
        ByteArrayImage buffer(output);
        DecompressionPass::PassImage image(buffer);
        for (const FileRecord &file : files)
            DecompressionPass::placeFile(rom, image, address, file);
    }
    if (output.size() > DecompressionPass::maxOutputSize)
        std::abort();
    if (output != referencePass(rom, QByteArray(int(outputSize), '\0'), address, files))
        std::abort();
    return 0;
}
