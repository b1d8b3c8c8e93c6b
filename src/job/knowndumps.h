#ifndef KNOWNDUMPS_H
#define KNOWNDUMPS_H

#include <QByteArray>
#include <QtGlobal>

// Original dumps of the three games, known by the MD5 of the whole ROM in big-endian order.
namespace KnownDumps {

enum class Compression { Yaz0, Deflate };

struct Dump
{
    const char *name;
    const char *md5; // lower-case hexadecimal; several separated by commas
    qint32 tableAddress;
    Compression compression;
};

struct Table
{
    const Dump *dumps;
    int count;
};

Table builtInTable();

// The dump whose MD5 (hexadecimal, any case) this is, or nullptr.
const Dump *find(const QByteArray &md5Hex, Table table = builtInTable());

// The MD5 of a big-endian image as lower-case hexadecimal.
QByteArray md5Of(const QByteArray &rom);

} // namespace KnownDumps

#endif // KNOWNDUMPS_H
