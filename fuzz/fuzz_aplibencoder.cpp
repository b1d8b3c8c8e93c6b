// The aPLib encoder on any data: its stream must decode, with the program's checking decoder, to
// exactly the data.
#include "aplib.h"
#include "aplibencoder.h"

#include <cstdlib>
#include <cstring>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size == 0 || size > 0x40000)
        return 0;
    const QByteArray input(reinterpret_cast<const char *>(data), int(size));
    const QByteArray stream = AplibEncoder::encode(input);
    std::vector<char> out(size);
    if (Aplib::decodeInto(stream.constData(), stream.size(), out.data(), qint64(size))
            != DecodeOutcome::Decoded
        || std::memcmp(out.data(), data, size) != 0)
        std::abort();
    return 0;
}
