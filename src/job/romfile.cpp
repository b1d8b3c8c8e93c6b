#include "romfile.h"

#include "windowtext.h"

#include "anonymousmemory.h"

#include <QFile>
#include <QFileInfo>
#include <QLocale>

#include <algorithm>

namespace RomFile {

namespace {

constexpr qint64 firstChunk = 1 << 16;

// The next buffer size while reading a file that is longer than it said: doubling, capped at one
// byte past the limit so that an over-long file is noticed without reading all of it.
qint64 grownCapacity(qint64 capacity, qint64 limit)
{
    return std::min(limit + 1, std::max(firstChunk, capacity * 2));
}

} // namespace

QString open(QFile &file)
{
    // Opening a FIFO or a device would block or never end, so only plain files are opened.
    const QFileInfo info(file.fileName());
    if (info.exists() && info.isDir())
        return windowText("It is a folder, not a file");
    if (info.exists() && !info.isFile())
        return windowText("It is not a regular file");
    if (!file.open(QFile::ReadOnly))
        return file.errorString();
    if (file.size() > maxSize) {
        return windowText("At %1 MiB the file is larger than the %2 MiB any ROM fits in")
            .arg((file.size() + (1 << 20) - 1) >> 20)
            .arg(maxSize >> 20);
    }
    return QString();
}

Contents readOpened(QFile &file, qint64 limit)
{
    const qint64 reported = file.size();
    // One byte more than reported, so that a file that grew is noticed without a second buffer.
    QByteArray bytes(int(std::clamp<qint64>(reported + 1, 1, limit + 1)), Qt::Uninitialized);
    AnonymousMemory::preferLargePages(bytes.data(), bytes.size());
    qint64 filled = 0;
    for (;;) {
        if (filled == bytes.size()) {
            if (filled > limit)
                break;
            bytes.resize(int(grownCapacity(filled, limit)));
        }
        const qint64 count = file.read(bytes.data() + filled, bytes.size() - filled);
        if (count < 0)
            return {QByteArray(), file.errorString()};
        if (count == 0)
            break;
        filled += count;
    }
    if (filled > limit) {
        return {QByteArray(),
            windowText("The file holds more than the %1 bytes any ROM fits in").arg(limit)};
    }
    if ((!file.isSequential() && filled != reported) || file.error() != QFile::NoError) {
        return {QByteArray(),
            file.error() != QFile::NoError ? file.errorString()
                                           : windowText("The file could not be read whole")};
    }
    bytes.resize(int(filled));
    return {bytes, QString()};
}

namespace {

NotRomReason whyNotRom(qint64 size, const QByteArray &head, Lengths lengths)
{
    const NotRomReason reason = RomByteOrder::whyNotRom(size, head);
    if (reason == NotRomReason::LengthNotMultipleOf4 && lengths == Lengths::AnyInBigEndian
        && RomByteOrder::isBigEndianOfAnyLength(size, head))
        return NotRomReason::None;
    return reason;
}

} // namespace

Contents readRom(QFile &file, qint64 limit, Lengths lengths)
{
    Contents contents;
    // A size a ROM cannot have, or first bytes no ROM starts with, decide before the rest is read.
    // A small reported size is not trusted: files such as those under /proc report 0.
    const qint64 reported = file.size();
    if (reported > RomByteOrder::headLength) {
        const QByteArray head = file.read(RomByteOrder::headLength);
        const NotRomReason reason = whyNotRom(reported, head, lengths);
        if (reason != NotRomReason::None)
            return {head, notRomText(reason, reported), reason};
        if (!file.seek(0))
            return {QByteArray(), file.errorString()};
    }
    contents = readOpened(file, limit);
    if (!contents.ok())
        return contents;
    contents.notRom = whyNotRom(contents.bytes.size(), contents.bytes, lengths);
    if (contents.notRom != NotRomReason::None)
        contents.error = notRomText(contents.notRom, contents.bytes.size());
    return contents;
}

Contents read(const QString &path, Lengths lengths)
{
    QFile file(path);
    const QString refusal = open(file);
    if (!refusal.isEmpty())
        return {QByteArray(), refusal};
    return readRom(file, maxSize, lengths);
}

Contents readStandardInput(Lengths lengths)
{
    QFile input;
    if (!input.open(stdin, QFile::ReadOnly, QFile::DontCloseHandle))
        return {QByteArray(), input.errorString()};
    return readRom(input, maxSize, lengths);
}

QString notRomText(NotRomReason reason, qint64 size)
{
    // Grouped digits whatever the user's locale, so that the numbers read the same everywhere.
    const QString bytes = QLocale(QLocale::English).toString(size);
    QString why;
    switch (reason) {
    case NotRomReason::Empty:
        why = windowText("it is empty");
        break;
    case NotRomReason::TooShort:
        why = windowText("at %1 bytes it is too short for a ROM header and boot code").arg(bytes);
        break;
    case NotRomReason::LengthNotMultipleOf4:
        why = windowText("its length, %1 bytes, is not a multiple of 4").arg(bytes);
        break;
    case NotRomReason::NoSignature:
    case NotRomReason::None:
        why = windowText("its first bytes are not those of a z64, v64 or n64 ROM");
        break;
    }
    return windowText("This is not a ROM: %1").arg(why);
}

} // namespace RomFile
