// The decoder on any stream and declared size: it must stay inside its input and its output.
#include "fuzzinput.h"
#include "yaz0.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzInput input(data, size);
    // Up to 1 MiB keeps each run quick; the size cap itself is tested separately.
    const qint32 declared = input.takeInt() % 0x100000;
    const QByteArray stream = input.rest();
    const QByteArray decoded = decodeYaz0(stream, declared);
    if (declared <= 0 && !decoded.isEmpty())
        std::abort();
    if (declared > 0 && (decoded.size() < declared || decoded.size() > declared + Yaz0::maxOverrun))
        std::abort();
    return 0;
}
