#include "filetable.h"

#include "bigendian.h"
#include "romheader.h"

#include <cctype>

namespace FileTable {

namespace {

bool findAfter(const QByteArray &image, const char *buildString, int distance, qint32 *address,
    qint32 *buildStringAt)
{
    const int position = image.indexOf(buildString);
    if (position <= 0)
        return false;
    *address = position + distance;
    if (buildStringAt)
        *buildStringAt = position;
    return true;
}

} // namespace

QVector<FileRecord> read(const QByteArray &image, qint32 address)
{
    QVector<FileRecord> records;
    if (address < 0)
        return records;
    for (qint64 offset = address; offset < image.size() && records.size() <= maxFiles;
         offset += entrySize) {
        FileRecord record;
        record.virtualStart = BigEndian::readSignedWord(image, offset);
        record.virtualEnd = BigEndian::readSignedWord(image, offset + 4);
        if (record.virtualStart == 0 && record.virtualEnd == 0)
            break;
        record.index = records.size();
        record.physicalStart = BigEndian::readSignedWord(image, offset + 8);
        record.physicalEnd = BigEndian::readSignedWord(image, offset + 12);
        records.append(record);
    }
    return records;
}

bool endMarkInside(const QByteArray &image, qint32 address, const QVector<FileRecord> &files)
{
    return files.size() > maxFiles
        || entryOffset(address, files.size()) + entrySize <= image.size();
}

int entryHolding(const QVector<FileRecord> &files, qint64 offset)
{
    for (const FileRecord &file : files) {
        if (hasBytes(file) && file.virtualStart <= offset && offset < file.virtualEnd)
            return file.index;
    }
    return -1;
}

void writeEntry(char *entry, const FileRecord &file)
{
    BigEndian::store32(entry, quint32(file.virtualStart));
    BigEndian::store32(entry + 4, quint32(file.virtualEnd));
    BigEndian::store32(entry + 8, quint32(file.physicalStart));
    BigEndian::store32(entry + 12, quint32(file.physicalEnd));
}

bool startsWithExpectedEntry(const QByteArray &image, qint32 address)
{
    for (int word = 0; word < 4; ++word) {
        if (BigEndian::readWord(image, qint64(address) + 4 * word) != expectedFirstEntry[word])
            return false;
    }
    return true;
}

bool findAddress(const QByteArray &image, qint32 *address, qint32 *buildStringAt)
{
    return findAfter(image, "zelda@", 0x30, address, buildStringAt)
        || findAfter(image, "forest@", 0x40, address, buildStringAt);
}

QString gameCode(const QByteArray &image)
{
    return RomHeader::gameCode(image) + QString::number(RomHeader::revision(image));
}

QString addressText(qint32 address)
{
    return QLatin1String("0x")
        + QString::number(quint32(address), 16).toUpper().rightJustified(8, QLatin1Char('0'));
}

qint32 parseAddressText(const QString &text)
{
    bool ok = false;
    const qint32 value
        = text.startsWith(QLatin1String("0x")) ? text.toInt(&ok, 16) : text.toInt(&ok, 10);
    return ok ? value : 0;
}

bool readAddressText(const QString &text, qint32 *address)
{
    const QString trimmed = text.trimmed();
    const bool hex = trimmed.startsWith(QLatin1String("0x"), Qt::CaseInsensitive);
    const QString digits = hex ? trimmed.mid(2) : trimmed;
    // toUInt accepts a sign and a prefix of its own; only bare digits are an address here.
    for (const QChar c : digits) {
        const ushort code = c.unicode();
        if (code >= 128 || !(hex ? std::isxdigit(code) : std::isdigit(code)))
            return false;
    }
    bool ok = false;
    const uint value = digits.toUInt(&ok, hex ? 16 : 10);
    if (!ok || value > quint32(maxAddress))
        return false;
    *address = qint32(value);
    return true;
}

} // namespace FileTable
