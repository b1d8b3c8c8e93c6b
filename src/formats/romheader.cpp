#include "romheader.h"

namespace RomHeader {

namespace {

QString latin1Field(const QByteArray &rom, int offset, int length)
{
    QByteArray bytes = rom.mid(offset, length);
    const int zero = bytes.indexOf('\0');
    if (zero >= 0)
        bytes.truncate(zero);
    return QString::fromLatin1(bytes);
}

} // namespace

QString title(const QByteArray &rom)
{
    return latin1Field(rom, titleOffset, titleLength).trimmed();
}

QString gameCode(const QByteArray &rom)
{
    return latin1Field(rom, gameCodeOffset, gameCodeLength);
}

int revision(const QByteArray &rom)
{
    return rom.size() > revisionOffset ? uchar(rom.at(revisionOffset)) : 0;
}

} // namespace RomHeader
