#include "yaz0rule.h"

#include <algorithm>

namespace Yaz0Rule {

namespace {

struct Match
{
    int length = 0;
    int distance = 0;
};

// The longest match of 3 to 0x111 bytes starting in the 0x1000 bytes before position; of equal
// lengths, the one that starts earliest.
Match longestMatch(const QByteArray &data, int position)
{
    const int limit = std::min(0x111, int(data.size()) - position);
    Match best;
    for (int start = std::max(0, position - 0x1000); start < position; ++start) {
        int length = 0;
        while (length < limit && data.at(start + length) == data.at(position + length))
            ++length;
        if (length > best.length)
            best = {length, position - start};
    }
    return best.length >= 3 ? best : Match();
}

} // namespace

QByteArray encodeStream(const QByteArray &data)
{
    QByteArray out;
    int position = 0;
    Match pending;
    while (position < data.size()) {
        const int codeAt = out.size();
        out.append('\0');
        int code = 0;
        for (int bit = 0; bit < 8 && position < data.size(); ++bit) {
            Match match;
            if (pending.length > 0) {
                match = pending;
                pending = Match();
            } else {
                match = longestMatch(data, position);
                if (match.length > 0 && position + 1 < data.size()) {
                    const Match next = longestMatch(data, position + 1);
                    if (next.length >= match.length + 2) {
                        pending = next;
                        match = Match();
                    }
                }
            }
            if (match.length == 0) {
                code |= 0x80 >> bit;
                out.append(data.at(position++));
                continue;
            }
            const int d = match.distance - 1;
            if (match.length <= 17) {
                out.append(char((match.length - 2) << 4 | d >> 8));
                out.append(char(d & 0xFF));
            } else {
                out.append(char(d >> 8));
                out.append(char(d & 0xFF));
                out.append(char(match.length - 0x12));
            }
            position += match.length;
        }
        out[codeAt] = char(code);
    }
    return out;
}

} // namespace Yaz0Rule
