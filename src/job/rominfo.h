#ifndef ROMINFO_H
#define ROMINFO_H

#include "byteorder.h"
#include "checksumrepair.h"

#include <QByteArray>
#include <QString>

// What a ROM is, read from its header, its boot code and its file table, without changing it.
namespace RomInfo {

struct Facts
{
    ByteOrder order = ByteOrder::NotRom; // the order the file came in
    qint64 size = 0;
    QString title; // header bytes 0x20 to 0x33, trimmed
    QString gameCode; // the four-letter code at 0x3B, e.g. "CZLE"
    QChar region; // its last letter: 'E' for North America, 'P' for Europe, 'J' for Japan...
    int revision = 0; // header byte 0x3F
    bool tableFound = false; // a build string gave the table address
    qint32 tableAddress = 0;
    QString preset; // the preset with that address, "Other" when none has it
    HeaderChecksums::Report checksums;
    int files = 0;
    int compressedFiles = 0;
    bool alreadyDecompressed = false; // the table lists files and none of them is stored compressed
    QString tableProblem; // why a pass over the table would be refused, if it would
};

// Reads the facts of rom, which may be in any byte order (it is converted in a copy).
Facts inspect(QByteArray rom);

// The region a game code's last letter stands for ("Europe", "Japan", ...), or "unknown".
QString regionName(QChar letter);

} // namespace RomInfo

#endif // ROMINFO_H
