#ifndef UCL_H
#define UCL_H

#include "codec.h"

#include <QByteArray>

// UCL NRV2B streams in the 8-bit form, as the hack compressor writes its "UCL0" files, through
// libucl.
namespace Ucl {

// Decodes stream into out, which is expected bytes long, with the library's checking decoder:
// it never reads or writes outside either.
DecodeOutcome decodeInto(const char *stream, qint64 streamLength, char *out, qint64 expected);

// An NRV2B stream of data at level 10, the library's best, as the hack compressor makes them
// (the same library gives the same bytes).
QByteArray encode(const QByteArray &data);

} // namespace Ucl

#endif // UCL_H
