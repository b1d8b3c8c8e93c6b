#include "romfile.h"

#include "windowtext.h"

#include <QFile>
#include <QFileInfo>

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
    if (filled != reported || file.error() != QFile::NoError) {
        return {QByteArray(),
            file.error() != QFile::NoError ? file.errorString()
                                           : windowText("The file could not be read whole")};
    }
    bytes.resize(int(filled));
    return {bytes, QString()};
}

Contents read(const QString &path)
{
    QFile file(path);
    const QString refusal = open(file);
    if (!refusal.isEmpty())
        return {QByteArray(), refusal};
    return readOpened(file);
}

} // namespace RomFile
