#ifndef YAZ0ENCODER_H
#define YAZ0ENCODER_H

#include <QByteArray>

// A Yaz0 encoder for making test data. It finds the longest match anywhere in the 4 KiB window,
// so its output compresses about as well as the files in real ROMs.
namespace Yaz0Encoder {

// The compressed stream alone, without the 16-byte header.
QByteArray encodeStream(const QByteArray &data);

// A whole Yaz0 file: "Yaz0", the size, 8 zero bytes, the stream.
QByteArray encodeFile(const QByteArray &data);

} // namespace Yaz0Encoder

#endif // YAZ0ENCODER_H
