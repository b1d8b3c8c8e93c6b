// The hack compressor's codecs' decoders on any stream and expected length: each must stay inside
// its input and its exactly sized output, and say how the stream came out. The first byte picks
// the codec, the next four the length.
#include "codec.h"
#include "fuzzinput.h"

#include <cstdlib>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1)
        return 0;
    static const Codec codecs[] = {Codec::Lzo, Codec::Ucl, Codec::Aplib, Codec::Zlib};
    const Codec codec = codecs[data[0] % 4];
    FuzzInput input(data + 1, size - 1);
    // Up to 1 MiB keeps each run quick.
    const qint64 expected = qint64(quint32(input.takeInt()) % 0x100000);
    const QByteArray stream = input.rest();
    std::vector<char> out(static_cast<size_t>(expected));
    const DecodeOutcome outcome
        = CodecFile::decodeWhole(codec, stream.constData(), stream.size(), out.data(), expected);
    if (expected == 0 && outcome == DecodeOutcome::Decoded && codec == Codec::Aplib)
        std::abort(); // an aPLib stream starts with a literal: it is never empty
    return 0;
}
