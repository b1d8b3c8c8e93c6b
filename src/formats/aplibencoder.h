#ifndef APLIBENCODER_H
#define APLIBENCODER_H

#include <QByteArray>

// An aPLib encoder (the format: see aplib.h). It parses each file for the fewest bits: the cost
// of every token is counted exactly, the repeated offset included, and the cheapest way to each
// position is kept, with the offset and token that way ends with. Matches are found on hash
// chains of bounded depth, so the time per byte is bounded too; a very long match is taken as it
// is. The standard depacker reads its output.
namespace AplibEncoder {

// The raw stream (no header) of data, which must not be empty.
QByteArray encode(const QByteArray &data);

} // namespace AplibEncoder

#endif // APLIBENCODER_H
