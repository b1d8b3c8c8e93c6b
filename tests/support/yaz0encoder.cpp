#include "yaz0encoder.h"

#include <QVector>
#include <QtEndian>

#include <algorithm>

namespace Yaz0Encoder {

namespace {

constexpr int windowSize = 4096;
constexpr int minMatch = 3;
constexpr int maxMatch = 0x111; // 273
constexpr int hashBits = 15;

inline quint32 hashAt(const uchar *p)
{
    return ((p[0] << 16 | p[1] << 8 | p[2]) * 2654435761u) >> (32 - hashBits);
}

} // namespace

QByteArray encodeStream(const QByteArray &data)
{
    const auto *src = reinterpret_cast<const uchar *>(data.constData());
    const int size = data.size();
    // Hash chains over 3-byte prefixes visit every earlier position that can start a match.
    QVector<int> head(1 << hashBits, -1);
    QVector<int> previous(size, -1);
    const auto insert = [&](int pos) {
        if (pos + minMatch > size)
            return;
        const quint32 h = hashAt(src + pos);
        previous[pos] = head[h];
        head[h] = pos;
    };

    QByteArray out;
    out.reserve(size + size / 8 + 16);
    int pos = 0;
    while (pos < size) {
        const int headerAt = out.size();
        out.append('\0');
        uchar header = 0;
        for (int bit = 0; bit < 8 && pos < size; ++bit) {
            int bestLength = 0;
            int bestDistance = 0;
            if (pos + minMatch <= size) {
                const int limit = std::min(maxMatch, size - pos);
                for (int candidate = head[hashAt(src + pos)];
                     candidate >= 0 && pos - candidate <= windowSize;
                     candidate = previous[candidate]) {
                    int length = 0;
                    while (length < limit && src[candidate + length] == src[pos + length])
                        ++length;
                    if (length > bestLength) {
                        bestLength = length;
                        bestDistance = pos - candidate;
                        if (length == limit)
                            break;
                    }
                }
            }
            if (bestLength >= minMatch) {
                const int d = bestDistance - 1;
                if (bestLength <= 17) {
                    out.append(char(((bestLength - 2) << 4) | (d >> 8)));
                    out.append(char(d & 0xFF));
                } else {
                    out.append(char(d >> 8));
                    out.append(char(d & 0xFF));
                    out.append(char(bestLength - 18));
                }
                for (int i = 0; i < bestLength; ++i)
                    insert(pos + i);
                pos += bestLength;
            } else {
                header |= 0x80 >> bit;
                out.append(char(src[pos]));
                insert(pos);
                ++pos;
            }
        }
        out[headerAt] = char(header);
    }
    return out;
}

QByteArray encodeFile(const QByteArray &data)
{
    QByteArray file("Yaz0");
    const quint32 size = qToBigEndian(quint32(data.size()));
    file.append(reinterpret_cast<const char *>(&size), 4);
    file.append(8, '\0');
    return file + encodeStream(data);
}

} // namespace Yaz0Encoder
