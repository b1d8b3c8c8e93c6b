// The decoder on any stream and declared size: it must stay inside its input and its output, and
// its SSSE3 and portable loops must give the same bytes.
#include "fuzzinput.h"
#include "yaz0.h"

#include <cstdlib>
#include <cstring>
#include <vector>

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

    // Exactly the room the decoder asks for, so that AddressSanitizer sees any write past it.
    std::vector<char> portable(size_t(Yaz0::cappedDeclaredSize(declared) + Yaz0::outputSlack));
    const qint64 produced = Yaz0::decodeInto(
        stream.constData(), stream.size(), declared, portable.data(), Yaz0::Kernel::Portable);
    if (produced != decoded.size()
        || std::memcmp(portable.data(), decoded.constData(), size_t(produced)) != 0)
        std::abort();
    return 0;
}
