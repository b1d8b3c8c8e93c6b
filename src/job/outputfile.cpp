#include "outputfile.h"

#include "outputfilesystem.h"
#include "windowtext.h"

#include <QFileInfo>
#include <QRandomGenerator>

#include <cerrno>
#include <cstring>

namespace {

namespace System = OutputFileSystem;

bool isCharacterDevice(const QString &path)
{
    return System::statusOf(QFile::encodeName(path)).characterDevice;
}

// Why the target's kind rules it out; sets direct for a device.
QString refusalForKind(const QFileInfo &target, bool *direct)
{
    if (target.isDir())
        return windowText("It is a folder, not a file");
    if (target.exists() && !target.isFile()) {
        if (!isCharacterDevice(target.filePath()))
            return windowText("It is neither a regular file nor a device such as /dev/null");
        *direct = true;
    }
    return QString();
}

QString systemError(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

// A file that replaces another keeps its permissions; a new one gets the usual 0666 less the
// umask, which open() applies.
mode_t modeFor(const QByteArray &target, bool *keepExisting)
{
    const System::Status status = System::statusOf(target);
    *keepExisting = status.regularFile;
    return *keepExisting ? status.permissions : 0666;
}

QByteArray randomName(const QByteArray &target)
{
    return target + '.'
        + QByteArray::number(QRandomGenerator::global()->generate64() & 0xFFFFFFFFFFFF, 36);
}

} // namespace

OutputFile::OutputFile(const QString &where, Existing onExisting, Target kind)
    : path(where), existing(onExisting), target(kind), device(where)
{ }

OutputFile::~OutputFile()
{
    discardTemporary();
}

QString OutputFile::checkTarget(const QString &path)
{
    const QFileInfo target(path);
    bool device = false;
    const QString refusal = refusalForKind(target, &device);
    if (!refusal.isEmpty())
        return refusal;
    if (device)
        return QString();
    if (target.exists() && !target.isWritable())
        return windowText("Permission denied");
    // The temporary file and putting it in place both need a folder that takes new files.
    const QFileInfo folder(target.absolutePath());
    if (!folder.isDir())
        return windowText("No such file or directory");
    return folder.isWritable() ? QString() : windowText("Permission denied");
}

QString OutputFile::checkKind(const QString &path)
{
    bool device = false;
    return refusalForKind(QFileInfo(path), &device);
}

QString OutputFile::open()
{
    if (target == Target::StandardOutput) {
        direct = true;
        return device.open(System::standardOutput(), QFile::WriteOnly, QFile::DontCloseHandle)
            ? QString()
            : device.errorString();
    }
    const QString refusal = refusalForKind(QFileInfo(path), &direct);
    if (!refusal.isEmpty())
        return refusal;
    if (direct)
        return device.open(QFile::WriteOnly) ? QString() : device.errorString();
    return openTemporary();
}

// A file without a name vanishes by itself if the program stops before it is put in place; where
// there is none to be had, a named file beside the target stands in, its name removed by a signal
// that stops the program.
QString OutputFile::openTemporary()
{
    const QByteArray absolute = QFile::encodeName(QFileInfo(path).absoluteFilePath());
    const QByteArray folder = QFile::encodeName(QFileInfo(path).absolutePath());
    bool keepMode = false;
    const mode_t mode = modeFor(absolute, &keepMode);
    descriptor = System::openUnnamed(folder, mode);
    if (descriptor < 0 && errno != EOPNOTSUPP)
        return systemError(errno);
    for (int attempt = 0; descriptor < 0 && attempt < 100; ++attempt) {
        temporaryName = randomName(absolute);
        pending = std::make_unique<System::PendingName>(temporaryName);
        descriptor = System::createNew(temporaryName, mode);
        const int error = errno;
        if (descriptor < 0) {
            pending.reset();
            temporaryName.clear();
        }
        if (descriptor < 0 && error != EEXIST)
            return systemError(error);
    }
    if (descriptor < 0)
        return systemError(EEXIST);
    if (keepMode && System::setPermissions(descriptor, mode) != 0)
        return systemError(errno);
    return QString();
}

QString OutputFile::write(const QByteArray &image)
{
    return write(image.constData(), image.size());
}

QString OutputFile::write(const char *data, qint64 size)
{
    if (direct) {
        const qint64 count = device.write(data, size);
        if (count == size && device.flush())
            return QString();
        if (device.error() == QFileDevice::NoError && count >= 0 && count < size)
            return windowText("Only %1 of %2 bytes could be written").arg(count).arg(size);
        return device.errorString();
    }
    QString error = writeUnseen(data, size);
    return error.isEmpty() ? place() : error;
}

QString OutputFile::writeUnseen(const char *data, qint64 size)
{
    if (descriptor < 0)
        return systemError(EBADF);
    const QString error = writeTemporary(data, size);
    if (!error.isEmpty())
        discardTemporary();
    return error;
}

QString OutputFile::place()
{
    if (descriptor < 0)
        return systemError(EBADF);
    const QString error = putInPlace();
    discardTemporary();
    return error;
}

QString OutputFile::writeTemporary(const char *data, qint64 size)
{
    const qint64 written = System::writeAll(descriptor, data, size);
    if (written < size) {
        // A disk or a size limit (ulimit -f) that runs out part of the way.
        if (written > 0 || errno == 0)
            return windowText("Only %1 of %2 bytes could be written").arg(written).arg(size);
        return systemError(errno);
    }
    // Put in place only what is on the disk, so that a crash of the system cannot leave an empty
    // file where the old one was.
    if (System::syncData(descriptor) != 0)
        return systemError(errno);
    return QString();
}

QString OutputFile::putInPlace()
{
    const QByteArray final = QFile::encodeName(path);
    if (temporaryName.isEmpty()) {
        // Naming the file without a name fails where a file exists: with Keep, that is all.
        const QByteArray name = existing == Existing::Keep ? final : randomName(final);
        if (existing == Existing::Replace)
            pending = std::make_unique<System::PendingName>(name);
        if (System::nameUnnamed(descriptor, name) != 0) {
            const int error = errno;
            pending.reset();
            existed = error == EEXIST && existing == Existing::Keep;
            return systemError(error);
        }
        if (existing == Existing::Keep)
            return QString();
        temporaryName = name;
    }
    int result = 0;
    if (existing == Existing::Replace) {
        if (System::PendingName::beforeRename)
            System::PendingName::beforeRename();
        result = System::replace(temporaryName, final);
    } else {
        result = System::renameNoReplace(temporaryName, final);
    }
    if (result != 0) {
        const int error = errno;
        existed = error == EEXIST && existing == Existing::Keep;
        return systemError(error);
    }
    if (existing == Existing::Keep)
        System::removeName(temporaryName); // still there after a link
    temporaryName.clear();
    pending.reset();
    return QString();
}

void OutputFile::discardTemporary()
{
    if (descriptor >= 0)
        System::closeFile(descriptor);
    descriptor = -1;
    if (!temporaryName.isEmpty())
        System::removeName(temporaryName);
    temporaryName.clear();
    pending.reset();
}

void OutputFile::reportSizeLimitsAsErrors()
{
    System::reportSizeLimitsAsErrors();
}
