#ifndef ROMFIXTURE_H
#define ROMFIXTURE_H

#include "codec.h"

#include <QByteArray>
#include <QVector>

// Builds synthetic ROMs shaped like the real games: a header, boot code made for a chosen boot
// chip, a build string, a file table, and files stored plain, Yaz0-compressed or absent. It also
// says what the decompressed image must hold, independently of the program's own code.
class RomFixture
{
public:
    enum class Storage { Plain, Compressed, Absent };

    struct File
    {
        QByteArray content;
        Storage storage = Storage::Plain;
        qint32 virtualStart = 0;
        qint32 virtualEnd = 0;
        qint32 physicalStart = 0;
        qint32 physicalEnd = 0;
    };

    // tableAddress is where the file table goes; buildString ("zelda@" or "forest@") is put at
    // the distance before it that the games use. chip is 6101, 6102, 6103, 6105 or 6106.
    RomFixture(qint32 tableAddress, const QByteArray &buildString, int chip);

    // Files are laid out one after another in the order they are added, after the table.
    void addFile(const QByteArray &content, Storage storage);

    // The ROM is at least this long (real ROMs are padded to a round size).
    void setMinimumSize(int bytes) { m_minimumSize = bytes; }
    // The ROM's length is a multiple of this, 1 MiB unless set.
    void setSizeGranule(int bytes) { m_granule = bytes; }
    // Stores the ROM as the games' own ROMs are: compressed files made by the program's matching
    // encoder, padded to 16 bytes, their entries ending after the padding, and the header
    // checksums right. Compressing such a ROM's decompressed image again must give it back.
    void storeLikeAnOriginal() { m_likeAnOriginal = true; }
    // Stores the compressed files as raw DEFLATE streams, as the iQue Player versions do.
    void storeWithDeflate() { m_deflate = true; }
    // Stores the compressed files as the hack compressor does, in turn with each of these codecs
    // (its magic, the size, the stream; Yaz0 among them as the matching encoder stores it). The
    // streams come from the same libraries the hack compressor uses (aPLib's from the program's
    // encoder).
    void storeWith(const QVector<Codec> &codecs) { m_codecs = codecs; }

    // The ROM in big-endian order.
    QByteArray build();
    // Every entry of the table, the header, the file before the table and the table included.
    const QVector<File> &entries() const { return m_entries; }
    qint32 tableAddress() const { return m_tableAddress; }

    // The 64 MiB image the decompression pass must produce, header checksums not yet repaired.
    QByteArray expectedOutput();

    // A family of the three games, with a mix of files of every kind.
    static RomFixture ocarinaLike();
    static RomFixture majoraLike();
    static RomFixture doubutsuLike();
    // 0, 1, 2: the three above.
    static RomFixture ofFamily(int family);

    static QByteArray toV64(QByteArray image);
    static QByteArray toN64(QByteArray image);

    // Sample data that compresses like real game files.
    static QByteArray codeLike(int length, quint32 seed);
    static QByteArray textureLike(int length, quint32 seed);
    static QByteArray textLike(int length, quint32 seed);
    static QByteArray sparse(int length, quint32 seed);
    static QByteArray noise(int length, quint32 seed);

private:
    void layOut();

    qint32 m_tableAddress;
    QByteArray m_buildString;
    int m_chip;
    int m_minimumSize = 0;
    int m_granule = 0x100000;
    bool m_likeAnOriginal = false;
    bool m_deflate = false;
    QVector<Codec> m_codecs;
    QVector<File> m_added;
    QVector<File> m_entries;
    QByteArray m_rom;
};

// A raw DEFLATE stream of data, made with libdeflate's compressor.
QByteArray deflateStream(const QByteArray &data);

// A 4032-byte boot code whose CRC-32 identifies the given chip (0 for none of the five).
QByteArray bootCodeFor(int chip, quint32 seed = 1);

// CRC-32 and the header checksum words, written from the boot code's algorithm without any of
// the program's code, to check the program against.
quint32 referenceCrc32(const QByteArray &data);
void referenceChecksum(const QByteArray &image, int chip, quint32 *crc1, quint32 *crc2);

// Big-endian word helpers for tests.
quint32 wordAt(const QByteArray &data, int offset);
void putWord(QByteArray &data, int offset, quint32 value);

#endif // ROMFIXTURE_H
