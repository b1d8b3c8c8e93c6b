#ifndef ROMFILE_H
#define ROMFILE_H

#include "byteorder.h"

#include <QByteArray>
#include <QString>

class QFile;

// Reads a ROM file whole, refusing what could block, never end or exhaust memory. Every refusal
// comes with a reason the user can read; the caller puts the path in front of it.
namespace RomFile {

// ROM files are read whole and kept next to the output image; nothing this large is a ROM, and
// refusing it up front keeps a stray file from exhausting memory.
constexpr qint64 maxSize = 0x40000000;

// Which lengths a ROM may have: the loader's rule (a multiple of 4), or, for a big-endian image,
// any. Decompressed ROMs grow by what a file decodes past its range, and a ROM cut short can end
// anywhere; neither needs converting, so only the z64 signature is asked of them.
enum class Lengths { MultipleOf4, AnyInBigEndian };

struct Contents
{
    QByteArray bytes; // the whole file; for a file that is not a ROM, what was read of it
    QString error; // empty when the file was read whole
    // Set when the file was readable but is not a ROM; error then says why.
    NotRomReason notRom = NotRomReason::None;
    bool ok() const { return error.isEmpty(); }
};

// Opens file (named already) for reading, refusing folders, FIFOs, devices and files over
// maxSize. Returns the reason, or an empty string when the file is open.
QString open(QFile &file);

// Reads an opened file whole. The reported size is only a hint: a file that streams more than
// limit bytes is refused after limit + 1 bytes, and one that ends early is refused too (a pipe
// reports no size, so it simply ends).
Contents readOpened(QFile &file, qint64 limit = maxSize);

// Reads an opened file that should be a ROM. A file whose size or first bytes already rule it out
// is refused after reading only those bytes, so a large stray file costs nothing; the whole file
// is classified again once read.
Contents readRom(QFile &file, qint64 limit = maxSize, Lengths lengths = Lengths::MultipleOf4);

// open and readRom together.
Contents read(const QString &path, Lengths lengths = Lengths::MultipleOf4);

// readRom on the process's standard input, which may be a pipe.
Contents readStandardInput(Lengths lengths = Lengths::MultipleOf4);

// "This is not a ROM: " and the reason, e.g. "its length, 3,356,162 bytes, is not a multiple of 4".
QString notRomText(NotRomReason reason, qint64 size);

} // namespace RomFile

#endif // ROMFILE_H
