#ifndef LZO_H
#define LZO_H

#include "codec.h"

#include <QByteArray>

// LZO1X streams, as the hack compressor writes its "LZO0" files, through liblzo2.
namespace Lzo {

// Decodes stream into out, which is expected bytes long, with the library's checking decoder:
// it never reads or writes outside either.
DecodeOutcome decodeInto(const char *stream, qint64 streamLength, char *out, qint64 expected);

// An LZO1X-999 stream of data (the library's best ratio).
QByteArray encode(const QByteArray &data);

} // namespace Lzo

#endif // LZO_H
