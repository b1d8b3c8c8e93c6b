#ifndef YAZ0_H
#define YAZ0_H

#include "romimage.h"

#include <QByteArray>
#include <QtGlobal>

namespace Yaz0 {

// A Yaz0 file: the magic "Yaz0", the decompressed size as a big-endian word, 8 reserved bytes,
// then the compressed stream.
constexpr int headerSize = 16;
constexpr int declaredSizeOffset = 4;

// The declared size is trusted, so it is the only thing that bounds the output. No single file
// can be larger than the 64 MiB image the program builds, so larger declarations are decoded as
// if they said 64 MiB.
constexpr qint32 maxDeclaredSize = RomImage::decompressedSize;

// The last back-reference is always copied whole, so the output may run up to 272 bytes past the
// declared size. The decoder also copies in blocks of up to 16 bytes, which may end up to 15
// bytes past its output, so a caller's buffer needs this much room past the (capped) declared
// size.
constexpr qint32 maxOverrun = 273 - 1;
constexpr qint32 outputSlack = maxOverrun + 16;

qint32 cappedDeclaredSize(qint32 declaredSize);

// The header of a stored file of length bytes: whether it starts with "Yaz0", and the declared
// size in bytes 4 to 7 as a big-endian signed word (0 when the file is shorter than 8 bytes).
bool hasMagic(const char *file, qint64 length);
qint32 declaredSize(const char *file, qint64 length);
// Writes the header of a file that declares declaredSize bytes to its first headerSize bytes.
void writeHeader(char *file, qint32 declaredSize);

// The main loop has a portable build and, on x86-64, one that copies back-references with SSSE3
// byte shuffles. Fastest picks the best the processor runs; both give the same bytes, and the
// tests and fuzzers hold them to it.
enum class Kernel { Fastest, Portable };

// How many bytes the stream decodes to before its data runs out, up to the capped declared size:
// less than that for a stream cut short, whose end the decoder fills from zeros. Walks the tokens
// without writing anything.
qint64 lengthBeforeStreamEnds(const char *stream, qint64 streamLength, qint32 declaredSize);

// Decodes stream into out, which has room for cappedDeclaredSize(declaredSize) + outputSlack
// bytes, and returns the number of bytes produced. Bytes read past the end of the stream are 0;
// lengthBeforeDataEnds, when given, receives the output's length when the stream's data ran out
// (as lengthBeforeStreamEnds says), or all that was produced when it did not.
qint64 decodeInto(const char *stream, qint64 streamLength, qint32 declaredSize, char *out,
    Kernel kernel = Kernel::Fastest, qint64 *lengthBeforeDataEnds = nullptr);

} // namespace Yaz0

// Expands a Yaz0 stream (the file without its 16-byte header). Decoding stops after the first
// chunk that brings the output to declaredSize or beyond; that chunk is kept whole, so the result
// can be longer than declaredSize.
QByteArray decodeYaz0(const QByteArray &stream, qint32 declaredSize);

#endif // YAZ0_H
