#ifndef DEFLATE_H
#define DEFLATE_H

#include <QtGlobal>

// Raw DEFLATE streams (no zlib or gzip header), in which the iQue Player versions store their
// compressed files. A stored file says nothing of its length: it must decode to exactly the
// length of its range, whole or not at all.
namespace Deflate {

enum class Outcome {
    Decoded, // exactly the expected length
    Corrupt, // not a DEFLATE stream, or one that ends early
    TooShort, // a valid stream that ends before the expected length
    TooLong, // one that would go on past it
};

// Decodes stream into out, which is expected bytes long. Throws std::bad_alloc when the thread's
// decompressor cannot be made (it is made on a thread's first call), as Qt's containers do.
Outcome decodeInto(const char *stream, qint64 streamLength, char *out, qint64 expected);

} // namespace Deflate

#endif // DEFLATE_H
