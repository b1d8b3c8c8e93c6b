#ifndef ROMINFO_H
#define ROMINFO_H

#include "byteorder.h"
#include "checksumrepair.h"
#include "decompressionpass.h"
#include "knowndumps.h"

#include <QByteArray>
#include <QJsonObject>
#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>

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
    QByteArray md5; // of the whole image in big-endian order, lower-case hexadecimal
    const KnownDumps::Dump *knownDump = nullptr; // the original dump it is, if any
    bool buildStringFound = false;
    qint32 buildStringAddress = 0; // the table address the build string gives
    bool tableFound = false; // a known dump or a build string gave the table address
    // Where decompressing finds the table: the build string's address when a table starts there
    // as expected, else the known dump's when it is one, else the build string's.
    qint32 tableAddress = 0;
    QString preset; // the preset with that address, "Other" when none has it
    HeaderChecksums::Report checksums;
    int files = 0;
    int compressedFiles = 0;
    bool alreadyDecompressed = false; // the table lists files and none of them is stored compressed
    // The table's compressed files by how they are stored (empty when there are none).
    QMap<Codec, int> filesByCodec;
    QString tableProblem; // why decompressing would be refused (no table found too), if it would
    QStringList warnings; // what is odd about a table that may be decompressed
};

// Reads the facts of rom, which may be in any byte order (it is converted in a copy).
Facts inspect(QByteArray rom, KnownDumps::Table knownDumps = KnownDumps::builtInTable());

// The same for an image already in big-endian order that came in the given order.
Facts inspectBigEndian(const QByteArray &rom, ByteOrder cameIn,
    KnownDumps::Table knownDumps = KnownDumps::builtInTable());

// How the files are stored, when it is not Yaz0 alone: "Files compressed with DEFLATE (iQue
// Player)", or "Files compressed with UCL (a hack's codec; the game needs its patch to read
// them)"; empty otherwise.
QString codecText(const QMap<Codec, int> &filesByCodec);

// A few short lines for the window: what the ROM is, whether it is a known dump, its checksums,
// its file table.
QStringList summary(const Facts &facts);

// Every fact as a labelled line, in the order the command line's info prints them.
struct Detail
{
    QString label; // "Byte order:", "MD5:", ...
    QString value;
};
QList<Detail> details(const Facts &facts);

// The facts for machines: one object with a key for each (see the command line's info --json).
QJsonObject toJson(const Facts &facts);

// The region a game code's last letter stands for ("Europe", "Japan", ...), or "unknown".
QString regionName(QChar letter);

} // namespace RomInfo

#endif // ROMINFO_H
