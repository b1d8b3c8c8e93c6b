// The matching Yaz0 encoder on any bytes: its output decodes to them, it makes the same choices
// as the rule written out plainly (the tests' transcription, searching the whole window), and
// encoding in parts gives the same file.
#include "yaz0.h"
#include "yaz0matchingencoder.h"
#include "yaz0rule.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size > 16384)
        return 0;
    const QByteArray input(reinterpret_cast<const char *>(data), int(size));
    const QByteArray stream = Yaz0MatchingEncoder::encodeStream(input.constData(), input.size());
    if (decodeYaz0(stream, input.size()) != input)
        std::abort();
    // The plain rule searches the whole window at every position: only short inputs, so that the
    // fuzzer stays quick (the tests hold the encoder to it past the window's edge).
    if (size <= 1500 && stream != Yaz0Rule::encodeStream(input))
        std::abort();
    // Encoded in parts of any size, the file is the same; the last byte chooses the size.
    Yaz0MatchingEncoder::PartedFile parted(input, size > 0 ? 64 + data[size - 1] * 37 : 64);
    for (int i = 0; i < parted.parts(); ++i)
        parted.encodePart(i);
    if (parted.file() != Yaz0MatchingEncoder::encodeFile(input))
        std::abort();
    return 0;
}
