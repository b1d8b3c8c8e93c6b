#ifndef DEFLATE_H
#define DEFLATE_H

#include "codec.h"

#include <QByteArray>
#include <QtGlobal>

// Raw DEFLATE streams (no zlib or gzip header), in which the iQue Player versions store their
// compressed files. A stored file says nothing of its length: it must decode to exactly the
// length of its range, whole or not at all.
namespace Deflate {

using Outcome = DecodeOutcome;

// Decodes stream into out, which is expected bytes long. Throws std::bad_alloc when the thread's
// decompressor cannot be made (it is made on a thread's first call), as Qt's containers do.
Outcome decodeInto(const char *stream, qint64 streamLength, char *out, qint64 expected);

// A raw DEFLATE stream of data at libdeflate's highest level (12), as the hack compressor makes
// its zlib files. Throws std::bad_alloc when no compressor can be made.
QByteArray encode(const QByteArray &data);

} // namespace Deflate

#endif // DEFLATE_H
