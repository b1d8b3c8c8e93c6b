#include "decompressionpass.h"

#include "bigendian.h"
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

Span payload(Span stored, Codec codec = Codec::Yaz0)
{
    const int header = CodecFile::headerSize(codec);
    if (stored.length <= header)
        return {};
    return {stored.data + header, stored.length - header};
}

qint64 rewriteOffset(qint32 tableAddress, const FileRecord &file)
{
    return FileTable::entryOffset(tableAddress, file.index) + FileTable::physicalStartOffset;
}

// The output length after a file of fileLength bytes replaces [start, end) of an image of
// outputLength bytes.
qint64 lengthAfterSplice(qint64 outputLength, qint64 start, qint64 end, qint64 fileLength)
{
    return std::max(start, outputLength - (end - start)) + fileLength;
}

void splice(PassImage &output, qint64 start, qint64 end, const char *data, qint64 length)
{
    if (length == end - start && end <= output.size()) {
        // An empty file may have no bytes behind it at all, and memcpy wants a real pointer.
        if (length > 0)
            std::memcpy(output.contiguous(start, end), data, size_t(length));
        return;
    }
    if (lengthAfterSplice(output.size(), start, end, length) > maxOutputSize)
        return;
    output.splice(start, end, data, length, gapFiller);
}

// A Yaz0 file decoded beside the image, as decodeYaz0 does; beforeEnd as Yaz0::decodeInto says.
QByteArray decodeWhole(Span stored, qint64 *beforeEnd)
{
    const qint32 declared = declaredSize(stored);
    const qint32 capped = Yaz0::cappedDeclaredSize(declared);
    *beforeEnd = 0;
    if (capped == 0)
        return QByteArray();
    const Span stream = payload(stored);
    QByteArray decoded(capped + Yaz0::outputSlack, Qt::Uninitialized);
    const qint64 produced = Yaz0::decodeInto(
        stream.data, stream.length, declared, decoded.data(), Yaz0::Kernel::Fastest, beforeEnd);
    decoded.truncate(int(produced));
    return decoded;
}

// Decodes straight into the output image when the declared size fills the virtual range, which
// is what every well-formed file does. The decoder may write a little past the range, so the
// bytes there are kept aside and put back; a last back-reference that runs long is spliced in
// like any other longer file. Returns false when the image leaves no room to do so.
bool decodeInPlace(PassImage &output, qint64 start, qint64 end, Span stored, qint64 *beforeEnd)
{
    const qint32 declared = declaredSize(stored);
    if (Yaz0::cappedDeclaredSize(declared) != end - start
        || end + Yaz0::outputSlack > output.size())
        return false;
    char *const destination = output.contiguous(start, end + Yaz0::outputSlack);
    char *const tail = destination + (end - start);
    char savedTail[Yaz0::outputSlack];
    std::memcpy(savedTail, tail, sizeof savedTail);
    const Span stream = payload(stored);
    const qint64 produced = Yaz0::decodeInto(
        stream.data, stream.length, declared, destination, Yaz0::Kernel::Fastest, beforeEnd);
    const QByteArray overrun(tail, int(produced - (end - start)));
    std::memcpy(tail, savedTail, sizeof savedTail);
    if (!overrun.isEmpty())
        splice(output, end, end, overrun.constData(), overrun.size());
    return true;
}

void rewriteEntry(PassImage &output, qint64 offset, qint32 virtualStart)
{
    if (offset < 0)
        return;
    offset = std::min<qint64>(offset, output.size());
    if (offset + 8 > output.size()) {
        const char zeros[8] = {};
        output.splice(output.size(), output.size(), zeros, offset + 8 - output.size(), '\0');
    }
    char *const words = output.contiguous(offset, offset + 8);
    BigEndian::store32(words, quint32(virtualStart));
    BigEndian::store32(words + 4, 0);
}

// The most bytes the file can come to: what the ROM holds of it, or its declared size plus the
// longest back-reference overrun.
qint64 largestFileLength(const QByteArray &rom, const FileRecord &file, Codec codec)
{
    const qint64 rangeLength = qint64(file.virtualEnd) - file.virtualStart;
    if (!isCompressed(file))
        return slice(rom, file.physicalStart, rangeLength).length;
    if (decodesWhole(codec))
        return rangeLength;
    const Span stored
        = slice(rom, file.physicalStart, qint64(file.physicalEnd) - file.physicalStart);
    const qint32 declared = Yaz0::cappedDeclaredSize(declaredSize(stored));
    return declared == 0 ? 0 : declared + Yaz0::maxOverrun;
}

// How many bytes the pass writes for a file (its decoded size, or what the ROM holds of it), and
// whether they fit its range in place.
struct Placement
{
    qint64 length = 0;
    bool inPlace = false;
    qint64 inPlaceEnd = 0; // the end of the bytes written in place, the decoder's slack included
};

Placement placementOf(
    const QByteArray &rom, const FileRecord &file, qint64 outputLength, Codec codec)
{
    const qint64 rangeLength = qint64(file.virtualEnd) - file.virtualStart;
    Placement placement;
    placement.inPlaceEnd = file.virtualEnd;
    if (isCompressed(file) && decodesWhole(codec)) {
        placement.length = rangeLength;
        placement.inPlace = file.virtualEnd <= outputLength;
    } else if (!isCompressed(file)) {
        placement.length = slice(rom, file.physicalStart, rangeLength).length;
        placement.inPlace = placement.length == rangeLength && file.virtualEnd <= outputLength;
    } else {
        const Span stored
            = slice(rom, file.physicalStart, qint64(file.physicalEnd) - file.physicalStart);
        placement.length = Yaz0::cappedDeclaredSize(declaredSize(stored));
        placement.inPlaceEnd = file.virtualEnd + Yaz0::outputSlack;
        placement.inPlace = placement.length == rangeLength && placement.inPlaceEnd <= outputLength;
    }
    return placement;
}

// The pass's work as PassImage does it: the bytes of each file, and the bytes moved to bring
// the gap where a splice or a write in place needs it. Positions are reckoned from the declared
// sizes; a Yaz0 file may come out up to Yaz0::maxOverrun longer, so each reckoning is widened by
// what all such files before it could add. A splice that can grow the image is charged the whole
// image, which growing the buffer may move.
class WorkReckoning
{
public:
    explicit WorkReckoning(qint64 outputSize) : gap(outputSize), size(outputSize) { }

    qint64 work = 0;

    void add(const FileRecord &file, const Placement &placement, bool compressed)
    {
        const qint64 start = file.virtualStart;
        work += placement.length;
        if (placement.inPlace) {
            if (start < gap && gap < placement.inPlaceEnd) {
                const qint64 toStart = gap - start;
                const qint64 toEnd = placement.inPlaceEnd - gap;
                work += std::min(toStart, toEnd) + drift;
                gap = toStart <= toEnd ? start : placement.inPlaceEnd;
            }
        } else if (start >= size) {
            gap = gap == size ? start + placement.length : gap;
        } else {
            work += std::abs(start - gap) + drift;
            const qint64 longest = placement.length + (compressed ? Yaz0::maxOverrun : 0);
            if (longest > file.virtualEnd - start)
                work += size + placement.length;
            gap = start + placement.length;
        }
        if (compressed)
            drift += Yaz0::maxOverrun;
    }

    void resized(qint64 newSize)
    {
        if (gap == size)
            gap = newSize;
        size = newSize;
        gap = std::min(gap, size);
    }

private:
    qint64 gap; // where the gap is reckoned to stand; at the end when there is none
    qint64 size;
    qint64 drift = 0;
};

// A file that decodes whole comes out exactly its range: in place when the image holds the range,
// else beside it and spliced in. A stream that does not decode whole leaves zeros, never part of
// it (the plan refuses such a table before any pass).
void decodeWholeFile(PassImage &output, qint64 start, qint64 end, Span stored, Codec codec)
{
    const qint64 length = end - start;
    const Span stream = payload(stored, codec);
    if (end <= output.size()) {
        char *destination = output.contiguous(start, end);
        if (CodecFile::decodeWhole(codec, stream.data, stream.length, destination, length)
            != DecodeOutcome::Decoded)
            std::memset(destination, 0, size_t(length));
        return;
    }
    QByteArray decoded(int(length), '\0');
    if (CodecFile::decodeWhole(codec, stream.data, stream.length, decoded.data(), length)
        != DecodeOutcome::Decoded)
        decoded.fill('\0');
    splice(output, start, end, decoded.constData(), decoded.size());
}

} // namespace

PassImage::PassImage(ImageBuffer &image) : buffer(image), gapStart(image.size()) { }

PassImage::~PassImage()
{
    finish();
}

char *PassImage::contiguous(qint64 start, qint64 end)
{
    if (start < gapStart && gapStart < end) {
        // Whichever side of the range is nearer: the fewer bytes move.
        moveGapTo(gapStart - start <= end - gapStart ? start : end);
    }
    return buffer.data() + start + (start >= gapStart ? gapLength : 0);
}

void PassImage::splice(qint64 start, qint64 end, const char *data, qint64 length, char fill)
{
    const qint64 oldSize = size();
    if (start >= oldSize) {
        // At the end of the image, which is the end of the buffer too: nothing moves.
        append(nullptr, start - oldSize, fill);
        append(data, length, fill);
        return;
    }
    moveGapTo(start);
    gapLength += std::min(end, oldSize) - start; // the removed bytes join the gap
    widenGap(length);
    if (length > 0)
        std::memcpy(buffer.data() + gapStart, data, size_t(length));
    gapStart += length;
    gapLength -= length;
}

void PassImage::finish()
{
    if (gapLength == 0)
        return;
    const qint64 length = size();
    moveGapTo(length);
    buffer.resize(length, '\0');
    gapLength = 0;
    gapStart = length;
}

void PassImage::moveGapTo(qint64 position)
{
    char *const bytes = buffer.data();
    if (gapLength > 0 && position < gapStart) {
        std::memmove(bytes + position + gapLength, bytes + position, size_t(gapStart - position));
    } else if (gapLength > 0 && position > gapStart) {
        std::memmove(bytes + gapStart, bytes + gapStart + gapLength, size_t(position - gapStart));
    }
    gapStart = position;
}

// The buffer grows by an eighth of itself at least, so that files that each come out a little
// longer than their ranges do not move what follows them every time.
void PassImage::widenGap(qint64 bytes)
{
    if (gapLength >= bytes)
        return;
    const qint64 oldEnd = buffer.size();
    const qint64 extra = std::max(bytes - gapLength, oldEnd / 8);
    buffer.resize(oldEnd + extra, '\0');
    const qint64 after = gapStart + gapLength; // the bytes after the gap move to the new end
    std::memmove(buffer.data() + after + extra, buffer.data() + after, size_t(oldEnd - after));
    gapLength += extra;
}

void PassImage::append(const char *data, qint64 length, char fill)
{
    if (length <= 0)
        return;
    const qint64 oldEnd = buffer.size();
    if (gapStart == oldEnd - gapLength && gapLength > 0) {
        // The gap ends the buffer: the image's end is the gap's start, and writes go to the gap.
        widenGap(length);
        if (data)
            std::memcpy(buffer.data() + gapStart, data, size_t(length));
        else
            std::memset(buffer.data() + gapStart, fill, size_t(length));
        gapStart += length;
        gapLength -= length;
        return;
    }
    buffer.resize(oldEnd + length, fill);
    if (data)
        std::memcpy(buffer.data() + oldEnd, data, size_t(length));
}

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

qint64 placeFile(const QByteArray &rom, ImageBuffer &output, qint32 tableAddress,
    const FileRecord &file, Codec codec)
{
    PassImage image(output);
    return placeFile(rom, image, tableAddress, file, codec);
}

qint64 placeFile(const QByteArray &rom, PassImage &output, qint32 tableAddress,
    const FileRecord &file, Codec codec)
{
    if (file.physicalEnd == FileTable::absentFile || problemOf(rom, file, codec) != Problem::None)
        return 0;
    qint64 missing = 0;
    const qint64 start = file.virtualStart;
    const qint64 end = file.virtualEnd;
    if (!isCompressed(file)) {
        const Span stored = slice(rom, file.physicalStart, end - start);
        splice(output, start, end, stored.data, stored.length);
    } else if (decodesWhole(codec)) {
        decodeWholeFile(output, start, end,
            slice(rom, file.physicalStart, qint64(file.physicalEnd) - file.physicalStart), codec);
    } else {
        const qint64 storedLength = qint64(file.physicalEnd) - file.physicalStart;
        const Span stored = slice(rom, file.physicalStart, storedLength);
        qint64 beforeEnd = 0;
        if (!decodeInPlace(output, start, end, stored, &beforeEnd)) {
            const QByteArray decoded = decodeWhole(stored, &beforeEnd);
            splice(output, start, end, decoded.constData(), decoded.size());
        }
        // Only data that ends inside the ROM is cut short; past its end, the ROM is.
        if (stored.length == storedLength)
            missing
                = std::max<qint64>(0, Yaz0::cappedDeclaredSize(declaredSize(stored)) - beforeEnd);
    }
    rewriteEntry(output, rewriteOffset(tableAddress, file), file.virtualStart);
    return missing;
}

qint64 decodeFile(const QByteArray &rom, const FileRecord &file, Codec codec, char *into)
{
    const Span stored
        = slice(rom, file.physicalStart, qint64(file.physicalEnd) - file.physicalStart);
    if (decodesWhole(codec)) {
        const qint64 length = qint64(file.virtualEnd) - file.virtualStart;
        const Span stream = payload(stored, codec);
        return CodecFile::decodeWhole(codec, stream.data, stream.length, into, length)
                == DecodeOutcome::Decoded
            ? length
            : -1;
    }
    const Span stream = payload(stored);
    return Yaz0::decodeInto(
        stream.data, stream.length, declaredSize(stored), into, Yaz0::Kernel::Fastest);
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
    if (decodesWhole(codec)) {
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

bool storedInside(const QByteArray &rom, const FileRecord &file)
{
    const qint64 length = storedLength(file);
    return file.physicalStart >= 0 && length >= 0 && file.physicalStart + length <= rom.size();
}

QByteArray storedBytes(const QByteArray &rom, const FileRecord &file)
{
    const Span stored = slice(rom, file.physicalStart, storedLength(file));
    return QByteArray::fromRawData(stored.data, int(stored.length));
}

Finding findProblem(const QByteArray &rom, qint64 outputSize, qint32 tableAddress,
    const QVector<FileRecord> &files, const FileCodecs &codecs)
{
    if (files.size() > FileTable::maxFiles)
        return {Problem::TooManyFiles, FileTable::maxFiles};
    qint64 largestOutput = outputSize;
    WorkReckoning reckoning(outputSize);
    for (int position = 0; position < files.size(); ++position) {
        const FileRecord &file = files.at(position);
        const Codec codec = codecs.of(position);
        if (file.physicalEnd == FileTable::absentFile)
            continue;
        const Problem problem = problemOf(rom, file, codec);
        if (problem != Problem::None)
            return {problem, file.index};
        reckoning.add(file, placementOf(rom, file, largestOutput, codec),
            isCompressed(file) && codec == Codec::Yaz0);
        if (reckoning.work > maxWork)
            return {Problem::TooMuchWork, file.index};
        largestOutput = lengthAfterSplice(
            largestOutput, file.virtualStart, file.virtualEnd, largestFileLength(rom, file, codec));
        if (rewriteOffset(tableAddress, file) + 8 > largestOutput)
            largestOutput += 8;
        reckoning.resized(largestOutput);
        if (largestOutput > maxOutputSize)
            return {Problem::OutputTooLarge, file.index};
    }
    return {};
}

QVector<CutShortFile> cutShortFiles(
    const QByteArray &rom, const QVector<FileRecord> &files, const FileCodecs &codecs)
{
    QVector<CutShortFile> found;
    for (int position = 0; position < files.size(); ++position) {
        const FileRecord &file = files.at(position);
        if (!isCompressed(file) || codecs.of(position) != Codec::Yaz0
            || problemOf(rom, file, Codec::Yaz0) != Problem::None)
            continue;
        const qint64 length = storedLength(file);
        const Span stored = slice(rom, file.physicalStart, length);
        if (stored.length != length) // past the end: the ROM is cut short, not the file
            continue;
        const qint32 declared = Yaz0::cappedDeclaredSize(declaredSize(stored));
        const Span stream = payload(stored);
        const qint64 missing
            = declared - Yaz0::lengthBeforeStreamEnds(stream.data, stream.length, declared);
        if (missing > 0)
            found.append({file.index, missing});
    }
    return found;
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
