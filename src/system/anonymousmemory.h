#ifndef ANONYMOUSMEMORY_H
#define ANONYMOUSMEMORY_H

#include <QtGlobal>

// Memory straight from the system, zero until written, whose pages cost nothing until they are
// (the command line's 64 MiB image). One of the seams of this folder: a port to another system
// supplies these three.
namespace AnonymousMemory {

// bytes of zeros, or null when the system has no room.
char *map(qint64 bytes);
// The mapping of oldBytes at base made newBytes long, moved if need be (the bytes are kept), or
// null when it cannot be; base is then still mapped.
char *grow(char *base, qint64 oldBytes, qint64 newBytes);
void unmap(char *base, qint64 bytes);
// Asks for large pages for the whole pages inside bytes at data, memory about to be filled (a
// ROM being read): one fault and one clearing for each 2 MiB instead of each 4 KiB.
void preferLargePages(char *data, qint64 bytes);

} // namespace AnonymousMemory

#endif // ANONYMOUSMEMORY_H
