#ifndef APLIB_H
#define APLIB_H

#include "codec.h"

#include <QByteArray>

// aPLib streams, as the hack compressor writes its "APL0" files: the raw format of the standard
// depacker (no "AP32" header). The first byte is a literal; then each token starts with tag bits
// read most significant first from bytes fetched as they run out, between the other bytes:
//   0                       a literal byte
//   111 and 4 bits          one byte from 1 to 15 back (0: a zero byte)
//   110 and a byte          (offset << 1 | length - 2): 2 or 3 bytes from 1 to 127 back; the
//                           byte 0 ends the stream
//   10, gamma 2, gamma n    n bytes from the last offset, only right after a literal
//   10, gamma h, a byte     (after a literal h - 3, else h - 2) << 8 | the byte is the offset,
//   and gamma n             and n bytes are copied, one more from an offset of 1280 and of
//                           32000, two more below 128
// where gamma codes a number of 2 or more as its bits after the leading one, each followed by 1
// for more or 0 for the last.
namespace Aplib {

// Decodes stream into out, which is expected bytes long. Never reads or writes outside either,
// nor copies from before the start of out; a stream that would go on past expected is TooLong.
DecodeOutcome decodeInto(const char *stream, qint64 streamLength, char *out, qint64 expected);

} // namespace Aplib

#endif // APLIB_H
