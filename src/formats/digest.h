#ifndef DIGEST_H
#define DIGEST_H

#include <QtGlobal>

// A fast 64-bit fingerprint of bytes, libdeflate's CRC-32 and Adler-32 side by side: equal
// bytes give equal digests, and bytes changed by a fault almost never do. Not for anything an
// adversary chooses.
namespace Digest {

quint64 of(const char *data, qint64 length);

} // namespace Digest

#endif // DIGEST_H
