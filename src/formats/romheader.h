#ifndef ROMHEADER_H
#define ROMHEADER_H

#include <QByteArray>
#include <QString>

// Where things stand in the first 4 KiB of an N64 ROM (in big-endian order): the header words,
// the internal name and game code, and the boot code after the header.
namespace RomHeader {

constexpr int crc1Offset = 0x10;
constexpr int crc2Offset = 0x14;
constexpr int titleOffset = 0x20;
constexpr int titleLength = 0x14;
constexpr int gameCodeOffset = 0x3B; // four letters: "N", a game's two, its region's one
constexpr int gameCodeLength = 4;
constexpr int revisionOffset = 0x3F;
constexpr int bootCodeOffset = 0x40;
constexpr int bootCodeEnd = 0x1000;

// The internal name, up to the first zero byte, without the spaces that pad it.
QString title(const QByteArray &rom);

// The four letters of the game code up to the first zero byte, e.g. "CZLE"; empty for a short
// image.
QString gameCode(const QByteArray &rom);

// The revision byte; 0 for a short image.
int revision(const QByteArray &rom);

} // namespace RomHeader

#endif // ROMHEADER_H
