#ifndef DECOMPRESSIONPASS_H
#define DECOMPRESSIONPASS_H

#include "codec.h"
#include "filetable.h"
#include "imagebuffer.h"
#include "romimage.h"

#include <QByteArray>
#include <QVector>

// Lays the files of a file table into the output image, one at a time, and rewrites each
// processed entry there so that it describes an uncompressed file at its virtual address.
namespace DecompressionPass {

// Every load makes a fresh output image of 64 MiB.
constexpr int outputImageSize = RomImage::decompressedSize;

// A fresh output image: 64 MiB of zeros.
QByteArray newOutputImage();

// A file that decodes to more bytes than its virtual range makes room for itself, so a table can
// grow the image. A table that could grow it past this size (four times the normal image) is
// refused before the pass starts; together with the bound on the number of files
// (FileTable::maxFiles) this keeps a bad table from exhausting memory or running for hours.
constexpr qint64 maxOutputSize = qint64(4) * RomImage::decompressedSize;

// How a compressed file is stored (see codec.h). Every codec but Yaz0 decodes whole, to exactly
// its range, or not at all.
using Codec = ::Codec;

// Whether a file of the codec decodes whole to its range (all but Yaz0).
inline bool decodesWhole(Codec codec)
{
    return codec != Codec::Yaz0;
}

// How each file of a table is stored: one codec for the whole ROM (Yaz0 in the games as sold,
// raw DEFLATE in the iQue Player versions), and the files of the hack codecs by their magic.
struct FileCodecs
{
    Codec romWide = Codec::Yaz0;
    QVector<Codec> byPosition; // empty, or the codec of each file of the table, in table order

    Codec of(int position) const
    {
        return position < byPosition.size() ? byPosition.at(position) : romWide;
    }
};

// The output image through a pass. A file whose length differs from its range moves every byte
// after it; moved once per such file, a ROM cut short (whose files past its end come out short)
// would move the whole image a thousand times. So the bytes are moved lazily: a gap is kept where
// the last such file ended, and only the bytes between it and the next splice are moved. Every
// byte comes out as moving them at once would leave it. finish() (or the destructor) closes the
// gap, leaving the image exactly the pass's bytes.
class PassImage
{
public:
    explicit PassImage(ImageBuffer &image);
    ~PassImage();
    PassImage(const PassImage &) = delete;
    PassImage &operator=(const PassImage &) = delete;

    qint64 size() const { return buffer.size() - gapLength; }
    // The bytes from start to end (at most size()) made contiguous, for writing in place.
    char *contiguous(qint64 start, qint64 end);
    // Replaces the bytes from start to end (clipped to the image) with length bytes of data; a
    // start past the end first fills the image up to it with fill.
    void splice(qint64 start, qint64 end, const char *data, qint64 length, char fill);
    // Closes the gap.
    void finish();

private:
    void moveGapTo(qint64 position);
    void widenGap(qint64 bytes);
    void append(const char *data, qint64 length, char fill);

    ImageBuffer &buffer;
    qint64 gapStart; // where the gap begins, in the buffer and in the image alike
    qint64 gapLength = 0;
};

// Writes one file: copied when physicalEnd is 0, decoded from the stored bytes up to physicalEnd
// otherwise (a file of a codec that decodes whole, to exactly its range's length, or to zeros
// when it does not), skipped when it is -1. A file that
// fills its virtual range exactly is written in place; any other length replaces the range (clipped
// to the image) and moves what follows. Reads past the end of the ROM yield fewer bytes. Entries
// that findProblem refuses are left alone.
// Returns how many bytes a Yaz0 file stored inside the ROM comes short of its declared size when
// its data runs out (the decoder fills them from zeros), or 0.
qint64 placeFile(const QByteArray &rom, PassImage &output, qint32 tableAddress,
    const FileRecord &file, Codec codec = Codec::Yaz0);
qint64 placeFile(const QByteArray &rom, ImageBuffer &output, qint32 tableAddress,
    const FileRecord &file, Codec codec = Codec::Yaz0);
void placeFile(
    const QByteArray &rom, QByteArray &output, qint32 tableAddress, const FileRecord &file);

// The bytes a compressed file decodes to, as the pass decodes them: a Yaz0 file to its declared
// size (a last back-reference may run up to Yaz0::maxOverrun past it), a DEFLATE file to exactly
// its range. into must have room for the range and for the declared size, plus
// Yaz0::outputSlack. Returns how many bytes were written, or -1 for a DEFLATE stream that does not
// decode whole. The entry must be one that problemOf finds nothing wrong with.
qint64 decodeFile(const QByteArray &rom, const FileRecord &file, Codec codec, char *into);

enum class Problem {
    None,
    NegativeAddress, // a negative virtual or ROM offset
    InvertedRange, // an end before its start
    DeclaredSizeTooLarge, // a Yaz0 header (or a DEFLATE file's range) of more than 64 MiB
    OutputTooLarge, // the files could grow the image past maxOutputSize
    TooManyFiles, // more than FileTable::maxFiles entries
    TooMuchWork, // decoding and moving would pass maxWork bytes
};

// A real game's pass writes about 64 MiB: each file once, in place. A table can still make the
// pass decode the same huge file thousands of times, or move a grown image with every entry, for
// an hour; its cost, counted from the table by the pass's own rules, may not pass this bound,
// which keeps every pass to seconds.
constexpr qint64 maxWork = qint64(2) << 30;

struct Finding
{
    Problem problem = Problem::None;
    int index = -1; // the first entry at fault (for TooManyFiles, the first one past the bound)
};

// What is wrong with one entry that the pass could not survive (a negative address, an inverted
// range, a compressed file declaring more than 64 MiB); absent files have no problem.
Problem problemOf(const QByteArray &rom, const FileRecord &file, Codec codec);

// Checks, without decoding anything, that the pass over files can neither crash, grow the
// output image (of outputSize bytes) past maxOutputSize, nor do more than maxWork bytes of work.
Finding findProblem(const QByteArray &rom, qint64 outputSize, qint32 tableAddress,
    const QVector<FileRecord> &files, const FileCodecs &codecs = FileCodecs());

// How many bytes the file's entry says it stores: its compressed file, or the file as it is.
qint64 storedLength(const FileRecord &file);

// Whether the file's stored bytes lie whole inside the ROM.
bool storedInside(const QByteArray &rom, const FileRecord &file);

// The stored bytes of a file, cut short where the ROM ends.
QByteArray storedBytes(const QByteArray &rom, const FileRecord &file);

// A Yaz0 file whose stored data, inside the ROM, runs out before its declared size.
struct CutShortFile
{
    int index = 0;
    qint64 missing = 0; // bytes the decoder fills from zeros
};

// The Yaz0 files of a table that are cut short, found by walking their streams without decoding.
QVector<CutShortFile> cutShortFiles(const QByteArray &rom, const QVector<FileRecord> &files,
    const FileCodecs &codecs = FileCodecs());

// How many of the files that are not absent have stored bytes past the end of the ROM; the pass
// reads zeros there, which a ROM cut short gives.
int filesPastTheEnd(const QByteArray &rom, const QVector<FileRecord> &files);

} // namespace DecompressionPass

#endif // DECOMPRESSIONPASS_H
