#ifndef FILETABLE_H
#define FILETABLE_H

#include <QByteArray>
#include <QString>
#include <QVector>

// One entry of the ROM's file table, with its position in the table. The table is a run of
// 16-byte entries of four big-endian signed words; it ends at the first entry whose virtual start
// and end are both 0, or where the image ends.
struct FileRecord
{
    qint32 index = 0;
    qint32 virtualStart = 0; // offset in the decompressed image
    qint32 virtualEnd = 0; // exclusive
    qint32 physicalStart = 0; // offset of the stored bytes in the ROM image
    qint32 physicalEnd = 0; // see the constants below
};

namespace FileTable {

constexpr int entrySize = 16;
constexpr int physicalStartOffset = 8; // of the entry's last two words, rewritten after decoding

// physicalEnd of a file stored as it is; any other value but absentFile marks a Yaz0 file that
// ends there.
constexpr qint32 uncompressedFile = 0;
constexpr qint32 absentFile = -1; // 0xFFFFFFFF: no stored bytes, skipped

inline bool isCompressed(const FileRecord &file)
{
    return file.physicalEnd != uncompressedFile && file.physicalEnd != absentFile;
}

// Whether the entry has bytes in the ROM at all.
inline bool hasBytes(const FileRecord &file)
{
    return file.physicalEnd != absentFile;
}

// Addresses are signed words that must not be negative.
constexpr qint32 maxAddress = 0x7FFFFFFF;

// No game's table lists more than about 2,000 files. A table that goes on past this many entries
// is not a file table (or runs into data that only looks like one), and reading it stops here so
// that a huge image full of such entries cannot make the file list, or the pass over it, run away.
constexpr int maxFiles = 0x10000;

// A genuine table starts with the entry for the first 0x1060 bytes of the image.
constexpr quint32 expectedFirstEntry[4] = {0x00000000, 0x00001060, 0x00000000, 0x00000000};

// Reads the table at address. An address outside the image (negative included) gives no records.
// Reading stops after maxFiles + 1 records, so a longer list means the table is too long.
QVector<FileRecord> read(const QByteArray &image, qint32 address);

// Where entry index of the table at tableAddress starts.
inline qint64 entryOffset(qint32 tableAddress, int index)
{
    return qint64(tableAddress) + qint64(entrySize) * index;
}

// Whether the table's end mark (the entry after the last one read) lies whole inside the image;
// when it does not, the image ends inside the table, which is cut off there.
bool endMarkInside(const QByteArray &image, qint32 address, const QVector<FileRecord> &files);

// The index of the first entry with bytes whose virtual range holds offset, or -1.
int entryHolding(const QVector<FileRecord> &files, qint64 offset);

// Writes the four words of file as a table entry to the 16 bytes at entry.
void writeEntry(char *entry, const FileRecord &file);

bool startsWithExpectedEntry(const QByteArray &image, qint32 address);

// The file table lies a fixed distance after a build string: 0x30 after "zelda@" (Ocarina of
// Time, Majora's Mask), 0x40 after "forest@" (Doubutsu no Mori). A match at offset 0 does not
// count. Returns false when neither string is found; buildStringAt, when given, is where the
// string that was used starts.
bool findAddress(const QByteArray &image, qint32 *address, qint32 *buildStringAt = nullptr);

// The 4 header bytes at 59 to 62 up to the first zero, then the version byte at 63 in decimal.
QString gameCode(const QByteArray &image);

// "0x" and at least 8 upper-case hexadecimal digits.
QString addressText(qint32 address);

// Text starting with "0x" is hexadecimal (prefix included), any other decimal; text that does
// not parse as a signed 32-bit number gives 0.
qint32 parseAddressText(const QString &text);

// The strict reading for addresses typed where a mistake must not pass as 0: spaces around the
// text are ignored, "0x" or "0X" starts a hexadecimal number, anything else is decimal, and the
// value must lie in 0 to maxAddress. Returns false for any other text.
bool readAddressText(const QString &text, qint32 *address);

} // namespace FileTable

#endif // FILETABLE_H
