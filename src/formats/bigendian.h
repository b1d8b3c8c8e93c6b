#ifndef BIGENDIAN_H
#define BIGENDIAN_H

#include <QByteArray>
#include <QtEndian>
#include <QtGlobal>

#include <cstring>

// Every multi-byte value in a ROM is big-endian. These helpers read and write 32-bit words at any
// byte offset; a word that lies wholly or partly outside the array reads as 0, the way a data
// stream that runs out of bytes does, and writes outside the array are dropped.
namespace BigEndian {

inline quint32 load32(const char *p)
{
    quint32 word;
    std::memcpy(&word, p, sizeof word);
    return qFromBigEndian(word);
}

inline void store32(char *p, quint32 value)
{
    const quint32 word = qToBigEndian(value);
    std::memcpy(p, &word, sizeof word);
}

inline quint32 readWord(const QByteArray &data, qint64 offset)
{
    if (offset < 0 || offset > qint64(data.size()) - 4)
        return 0;
    return load32(data.constData() + offset);
}

inline qint32 readSignedWord(const QByteArray &data, qint64 offset)
{
    return qint32(readWord(data, offset));
}

inline void writeWord(QByteArray &data, qint64 offset, quint32 value)
{
    if (offset < 0 || offset > qint64(data.size()) - 4)
        return;
    store32(data.data() + offset, value);
}

} // namespace BigEndian

#endif // BIGENDIAN_H
