#ifndef FUZZINPUT_H
#define FUZZINPUT_H

#include <QByteArray>

#include <cstddef>
#include <cstdint>
#include <cstring>

// Splits a fuzzer's input into a few leading parameters and the bytes that follow.
class FuzzInput
{
public:
    FuzzInput(const uint8_t *data, size_t size) : p(data), left(size) { }

    qint32 takeInt()
    {
        qint32 value = 0;
        const size_t n = left < sizeof value ? left : sizeof value;
        std::memcpy(&value, p, n);
        p += n;
        left -= n;
        return value;
    }
    QByteArray rest() const { return QByteArray(reinterpret_cast<const char *>(p), int(left)); }

private:
    const uint8_t *p;
    size_t left;
};

#endif // FUZZINPUT_H
