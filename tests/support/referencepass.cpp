#include "referencepass.h"

#include "decompressionpass.h"
#include "yaz0.h"

#include <algorithm>

namespace {

QByteArray storedSlice(const QByteArray &rom, qint64 start, qint64 length)
{
    if (start < 0 || start >= rom.size() || length <= 0)
        return QByteArray();
    return rom.mid(int(start), int(std::min<qint64>(length, rom.size() - start)));
}

QByteArray fileBytes(const QByteArray &rom, const FileRecord &file)
{
    if (!FileTable::isCompressed(file))
        return storedSlice(rom, file.physicalStart, qint64(file.virtualEnd) - file.virtualStart);
    const QByteArray stored
        = storedSlice(rom, file.physicalStart, qint64(file.physicalEnd) - file.physicalStart);
    qint32 declared = 0;
    if (stored.size() >= 8) {
        declared = qint32(quint32(uchar(stored[4])) << 24 | quint32(uchar(stored[5])) << 16
            | quint32(uchar(stored[6])) << 8 | uchar(stored[7]));
    }
    return decodeYaz0(stored.mid(16), declared);
}

void splice(QByteArray &image, qint64 start, qint64 end, const QByteArray &bytes)
{
    if (bytes.size() == end - start && end <= image.size()) {
        image.replace(int(start), bytes.size(), bytes);
        return;
    }
    const qint64 after = std::max(start, image.size() - (end - start)) + bytes.size();
    if (after > DecompressionPass::maxOutputSize)
        return;
    if (start > image.size())
        image.append(QByteArray(int(start - image.size()), 0x20));
    image.replace(int(start), int(std::min<qint64>(end, image.size()) - start), bytes);
}

void rewrite(QByteArray &image, qint64 offset, qint32 virtualStart)
{
    if (offset < 0)
        return;
    offset = std::min<qint64>(offset, image.size());
    if (offset + 8 > image.size())
        image.append(QByteArray(int(offset + 8 - image.size()), '\0'));
    const quint32 words[2] = {quint32(virtualStart), 0};
    for (int w = 0; w < 2; ++w) {
        for (int b = 0; b < 4; ++b)
            image[int(offset + 4 * w + b)] = char(words[w] >> (24 - 8 * b));
    }
}

} // namespace

QByteArray referencePass(
    const QByteArray &rom, QByteArray image, qint32 tableAddress, const QVector<FileRecord> &files)
{
    for (const FileRecord &file : files) {
        if (file.physicalEnd == FileTable::absentFile
            || DecompressionPass::problemOf(rom, file, DecompressionPass::Codec::Yaz0)
                != DecompressionPass::Problem::None)
            continue;
        splice(image, file.virtualStart, file.virtualEnd, fileBytes(rom, file));
        rewrite(image, qint64(tableAddress) + 16 * qint64(file.index) + 8, file.virtualStart);
    }
    return image;
}
