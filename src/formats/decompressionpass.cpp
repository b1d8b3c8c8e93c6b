#include "decompressionpass.h"

#include "bigendian.h"
#include "deflate.h"
#include "yaz0.h"

#include <algorithm>
#include <cstring>

namespace DecompressionPass {

namespace {

constexpr char gapFiller = 0x20;

// The stored bytes of a file: a view into the ROM, cut short where the ROM ends.
struct Span
{
    const char *data = nullptr;
    qint64 length = 0;
};

Span slice(const QByteArray &rom, qint64 start, qint64 length)
{
    if (start < 0 || start >= rom.size() || length <= 0)
        return {};
    return {rom.constData() + start, std::min<qint64>(length, rom.size() - start)};
}

using FileTable::isCompressed;

qint32 declaredSize(Span stored)
{
    return Yaz0::declaredSize(stored.data, stored.length);
}

Span payload(Span stored)
{
    if (stored.length <= Yaz0::headerSize)
        return {};
    return {stored.data + Yaz0::headerSize, stored.length - Yaz0::headerSize};
}

qint64 rewriteOffset(qint32 tableAddress, const FileRecord &file)
{
    return qint64(tableAddress) + qint64(FileTable::entrySize) * file.index
        + FileTable::physicalStartOffset;
}

// The output length after a file of fileLength bytes replaces [start, end) of an image of
// outputLength bytes.
qint64 lengthAfterSplice(qint64 outputLength, qint64 start, qint64 end, qint64 fileLength)
{
    return std::max(start, outputLength - (end - start)) + fileLength;
}

void splice(ImageBuffer &output, qint64 start, qint64 end, const char *data, qint64 length)
{
    const qint64 size = output.size();
    if (length == end - start && end <= size) {
        // An empty file may have no bytes behind it at all, and memcpy wants a real pointer.
        if (length > 0)
            std::memcpy(output.data() + start, data, size_t(length));
        return;
    }
    if (lengthAfterSplice(size, start, end, length) > maxOutputSize)
        return;
    if (start > size)
        output.resize(start, gapFiller);
    const qint64 removedEnd = std::min<qint64>(end, output.size());
    const qint64 tail = output.size() - removedEnd;
    const qint64 newSize = start + length + tail;
    if (newSize > output.size())
        output.resize(newSize, '\0');
    char *bytes = output.data();
    std::memmove(bytes + start + length, bytes + removedEnd, size_t(tail));
    if (length > 0)
        std::memcpy(bytes + start, data, size_t(length));
    if (newSize < output.size())
        output.resize(newSize, '\0');
}

// Decodes straight into the output image when the declared size fills the virtual range, which
// is what every well-formed file does. The decoder may write a little past the range, so the
// bytes there are kept aside and put back; a last back-reference that runs long is spliced in
// like any other longer file. Returns false when the image leaves no room to do so.
bool decodeInPlace(ImageBuffer &output, qint64 start, qint64 end, Span stored)
{
    const qint32 declared = declaredSize(stored);
    if (Yaz0::cappedDeclaredSize(declared) != end - start
        || end + Yaz0::outputSlack > output.size())
        return false;
    char savedTail[Yaz0::outputSlack];
    std::memcpy(savedTail, output.constData() + end, sizeof savedTail);
    const Span stream = payload(stored);
    char *const destination = output.data() + start;
    const qint64 produced = Yaz0::decodeInto(stream.data, stream.length, declared, destination);
    const QByteArray overrun(destination + (end - start), int(produced - (end - start)));
    std::memcpy(output.data() + end, savedTail, sizeof savedTail);
    if (!overrun.isEmpty())
        splice(output, end, end, overrun.constData(), overrun.size());
    return true;
}

void rewriteEntry(ImageBuffer &output, qint64 offset, qint32 virtualStart)
{
    if (offset < 0)
        return;
    offset = std::min<qint64>(offset, output.size());
    if (offset + 8 > output.size())
        output.resize(offset + 8, '\0');
    BigEndian::store32(output.data() + offset, quint32(virtualStart));
    BigEndian::store32(output.data() + offset + 4, 0);
}

// The most bytes the file can come to: what the ROM holds of it, or its declared size plus the
// longest back-reference overrun.
qint64 largestFileLength(const QByteArray &rom, const FileRecord &file, Codec codec)
{
    const qint64 rangeLength = qint64(file.virtualEnd) - file.virtualStart;
    if (!isCompressed(file))
        return slice(rom, file.physicalStart, rangeLength).length;
    if (codec == Codec::Deflate)
        return rangeLength;
    const Span stored
        = slice(rom, file.physicalStart, qint64(file.physicalEnd) - file.physicalStart);
    const qint32 declared = Yaz0::cappedDeclaredSize(declaredSize(stored));
    return declared == 0 ? 0 : declared + Yaz0::maxOverrun;
}

// The bytes the pass decodes or copies for a file, plus, when the file does not fit its range in
// place, the whole image that the splice moves (and may copy to grow it).
qint64 workFor(const QByteArray &rom, const FileRecord &file, qint64 outputLength, Codec codec)
{
    const qint64 rangeLength = qint64(file.virtualEnd) - file.virtualStart;
    qint64 length = 0;
    bool inPlace = false;
    if (isCompressed(file) && codec == Codec::Deflate) {
        length = rangeLength;
        inPlace = file.virtualEnd <= outputLength;
    } else if (!isCompressed(file)) {
        length = slice(rom, file.physicalStart, rangeLength).length;
        inPlace = length == rangeLength && file.virtualEnd <= outputLength;
    } else {
        const Span stored
            = slice(rom, file.physicalStart, qint64(file.physicalEnd) - file.physicalStart);
        length = Yaz0::cappedDeclaredSize(declaredSize(stored));
        inPlace = length == rangeLength && file.virtualEnd + Yaz0::outputSlack <= outputLength;
    }
    return length + (inPlace ? 0 : outputLength + length);
}

// A DEFLATE file decodes to exactly its range: in place when the image holds the range, else
// beside it and spliced in. A stream that does not decode whole leaves zeros, never part of it
// (the plan refuses such a table before any pass).
void inflateFile(ImageBuffer &output, qint64 start, qint64 end, Span stored)
{
    const qint64 length = end - start;
    if (end <= output.size()) {
        char *destination = output.data() + start;
        if (Deflate::decodeInto(stored.data, stored.length, destination, length)
            != Deflate::Outcome::Decoded)
            std::memset(destination, 0, size_t(length));
        return;
    }
    QByteArray decoded(int(length), '\0');
    if (Deflate::decodeInto(stored.data, stored.length, decoded.data(), length)
        != Deflate::Outcome::Decoded)
        decoded.fill('\0');
    splice(output, start, end, decoded.constData(), decoded.size());
}

} // namespace

QByteArray newOutputImage()
{
    return QByteArray(outputImageSize, '\0');
}

void placeFile(
    const QByteArray &rom, QByteArray &output, qint32 tableAddress, const FileRecord &file)
{
    ByteArrayImage image(output);
    placeFile(rom, image, tableAddress, file);
}

void placeFile(const QByteArray &rom, ImageBuffer &output, qint32 tableAddress,
    const FileRecord &file, Codec codec)
{
    if (file.physicalEnd == FileTable::absentFile || problemOf(rom, file, codec) != Problem::None)
        return;
    const qint64 start = file.virtualStart;
    const qint64 end = file.virtualEnd;
    if (!isCompressed(file)) {
        const Span stored = slice(rom, file.physicalStart, end - start);
        splice(output, start, end, stored.data, stored.length);
    } else if (codec == Codec::Deflate) {
        inflateFile(output, start, end,
            slice(rom, file.physicalStart, qint64(file.physicalEnd) - file.physicalStart));
    } else {
        const Span stored
            = slice(rom, file.physicalStart, qint64(file.physicalEnd) - file.physicalStart);
        if (!decodeInPlace(output, start, end, stored)) {
            const Span stream = payload(stored);
            const QByteArray decoded = decodeYaz0(
                QByteArray::fromRawData(stream.data, int(stream.length)), declaredSize(stored));
            splice(output, start, end, decoded.constData(), decoded.size());
        }
    }
    rewriteEntry(output, rewriteOffset(tableAddress, file), file.virtualStart);
}

Problem problemOf(const QByteArray &rom, const FileRecord &file, Codec codec)
{
    if (file.physicalEnd == FileTable::absentFile)
        return Problem::None;
    if (file.virtualStart < 0 || file.virtualEnd < 0 || file.physicalStart < 0)
        return Problem::NegativeAddress;
    if (file.virtualEnd < file.virtualStart)
        return Problem::InvertedRange;
    if (!isCompressed(file))
        return Problem::None;
    if (file.physicalEnd < file.physicalStart)
        return Problem::InvertedRange;
    if (codec == Codec::Deflate) {
        const qint64 rangeLength = qint64(file.virtualEnd) - file.virtualStart;
        return rangeLength > Yaz0::maxDeclaredSize ? Problem::DeclaredSizeTooLarge : Problem::None;
    }
    const Span stored
        = slice(rom, file.physicalStart, qint64(file.physicalEnd) - file.physicalStart);
    if (declaredSize(stored) > Yaz0::maxDeclaredSize)
        return Problem::DeclaredSizeTooLarge;
    return Problem::None;
}

qint64 storedLength(const FileRecord &file)
{
    return isCompressed(file) ? qint64(file.physicalEnd) - file.physicalStart
                              : qint64(file.virtualEnd) - file.virtualStart;
}

QByteArray storedBytes(const QByteArray &rom, const FileRecord &file)
{
    const Span stored = slice(rom, file.physicalStart, storedLength(file));
    return QByteArray::fromRawData(stored.data, int(stored.length));
}

Finding findProblem(const QByteArray &rom, qint64 outputSize, qint32 tableAddress,
    const QVector<FileRecord> &files, Codec codec)
{
    if (files.size() > FileTable::maxFiles)
        return {Problem::TooManyFiles, FileTable::maxFiles};
    qint64 largestOutput = outputSize;
    qint64 work = 0;
    for (const FileRecord &file : files) {
        if (file.physicalEnd == FileTable::absentFile)
            continue;
        const Problem problem = problemOf(rom, file, codec);
        if (problem != Problem::None)
            return {problem, file.index};
        work += workFor(rom, file, largestOutput, codec);
        if (work > maxWork)
            return {Problem::TooMuchWork, file.index};
        largestOutput = lengthAfterSplice(
            largestOutput, file.virtualStart, file.virtualEnd, largestFileLength(rom, file, codec));
        if (rewriteOffset(tableAddress, file) + 8 > largestOutput)
            largestOutput += 8;
        if (largestOutput > maxOutputSize)
            return {Problem::OutputTooLarge, file.index};
    }
    return {};
}

int filesPastTheEnd(const QByteArray &rom, const QVector<FileRecord> &files)
{
    int count = 0;
    for (const FileRecord &file : files) {
        if (file.physicalEnd != FileTable::absentFile
            && qint64(file.physicalStart) + storedLength(file) > rom.size())
            ++count;
    }
    return count;
}

} // namespace DecompressionPass
