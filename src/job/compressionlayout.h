#ifndef COMPRESSIONLAYOUT_H
#define COMPRESSIONLAYOUT_H

#include "codec.h"
#include "filetable.h"

#include <QByteArray>
#include <QVector>

// Where each file of the table goes in the compressed ROM. No two files ever overlap.
namespace CompressionLayout {

enum class Storage { Absent, Plain, Compressed };

// Every file starts at a multiple of this in the compressed ROM, as in the games' own.
constexpr qint64 fileAlignment = 16;
// The compressed ROM's size is a multiple of this, unless it keeps the original's.
constexpr qint64 sizeGranule = 1 << 20;

// One file of the table on its way into the compressed ROM.
struct Piece
{
    Storage storage = Storage::Absent;
    Codec codec = Codec::Yaz0; // of a compressed file
    QByteArray stored; // the bytes to write: a compressed file padded to 16, or the file as it is
    // The offset in the original of stored bytes that are kept as they are (the file did not
    // change), or -1; such bytes are not in stored.
    qint64 keptFrom = -1;
    quint64 keptDigest = 0; // of the kept stored bytes, which were decoded and found to be the file
    qint64 length = 0; // of the stored bytes
    qint64 place = -1;

    // What the file takes up in a ROM: a stored file rounds up to the alignment.
    qint64 room() const { return storage == Storage::Plain ? align(length) : length; }
    static qint64 align(qint64 bytes)
    {
        return (bytes + fileAlignment - 1) / fileAlignment * fileAlignment;
    }
};

// How much room a layout takes: the end of the last byte in use, and the size the image is given.
struct Extent
{
    qint64 used = 0;
    qint64 size = 0;
};

// Each file keeps the original's place when it still fits in what it took up there and overlaps
// no file placed before it; the others follow the last byte in use, in table order. The file that
// holds the table is placed first and keeps its place even when it grew (the build string that
// leads to the table stays where it was); what it then covers moves. The size is the original's,
// or rounded up to 1 MiB when the files need more or the original's length is no multiple of 4 (a
// ROM cut short).
Extent placeLikeOriginal(QVector<Piece> &pieces, const QByteArray &original,
    const QVector<FileRecord> &originalFiles, int tablePiece, int *moved);

// The file that holds the table (tablePiece, which must be stored, and its entry tableFile) at its
// own virtual start, so that the table stays where the ROM has it; every other file one after
// another from offset 0, each at a multiple of the alignment, around it. The size is rounded up
// to the granule.
Extent placePacked(QVector<Piece> &pieces, int tablePiece, const FileRecord &tableFile);

} // namespace CompressionLayout

#endif // COMPRESSIONLAYOUT_H
