#include "outputfile.h"

#include "windowtext.h"

#include <QFileInfo>
#include <QMutex>
#include <QRandomGenerator>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

bool isCharacterDevice(const QString &path)
{
    struct stat status;
    return ::stat(QFile::encodeName(path).constData(), &status) == 0 && S_ISCHR(status.st_mode);
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
    struct stat status;
    *keepExisting = ::stat(target.constData(), &status) == 0 && S_ISREG(status.st_mode);
    return *keepExisting ? (status.st_mode & 07777) : 0666;
}

// A file without a name that is to replace another needs a name of its own for a moment, between
// the link that gives it one and the rename that puts it in place. A program stopped by a signal
// in that moment removes the name in the signal handler, so that nothing is left behind.
class PendingName
{
public:
    explicit PendingName(const QByteArray &path) : name(path)
    {
        installHandlers();
        for (std::atomic<const char *> &slot : names) {
            const char *empty = nullptr;
            if (slot.compare_exchange_strong(empty, this->name.constData())) {
                taken = &slot;
                break;
            }
        }
    }
    ~PendingName()
    {
        if (taken)
            taken->store(nullptr);
    }
    PendingName(const PendingName &) = delete;
    PendingName &operator=(const PendingName &) = delete;

    // Called between the two steps; tests stop the program there.
    static void (*beforeRename)();

private:
    static constexpr int stopSignals[] = {SIGINT, SIGTERM, SIGHUP};
    static constexpr int slotCount = 64; // more outputs than threads are never pending at once

    static void removeAndStop(int signal)
    {
        for (std::atomic<const char *> &slot : names) {
            if (const char *pending = slot.load())
                ::unlink(pending);
        }
        // The handler that was there before (the progress line's, or the default) ends it.
        ::sigaction(signal, &previous[signal], nullptr);
        ::raise(signal);
    }

    static void installHandlers()
    {
        static QMutex mutex;
        const QMutexLocker locker(&mutex);
        for (const int signal : stopSignals) {
            struct sigaction current;
            if (::sigaction(signal, nullptr, &current) != 0 || current.sa_handler == removeAndStop
                || current.sa_handler == SIG_IGN)
                continue;
            struct sigaction action = {};
            action.sa_handler = removeAndStop;
            sigemptyset(&action.sa_mask);
            action.sa_flags = SA_RESETHAND;
            previous[signal] = current;
            ::sigaction(signal, &action, nullptr);
        }
    }

    QByteArray name;
    std::atomic<const char *> *taken = nullptr;
    static std::atomic<const char *> names[slotCount];
    static struct sigaction previous[NSIG];
};

std::atomic<const char *> PendingName::names[PendingName::slotCount] = {};
struct sigaction PendingName::previous[NSIG] = {};
void (*PendingName::beforeRename)() = nullptr;

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
        return device.open(STDOUT_FILENO, QFile::WriteOnly, QFile::DontCloseHandle)
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

// A file without a name (O_TMPFILE) vanishes by itself if the program stops before it is put in
// place; where the file system cannot make one, a named file beside the target stands in.
QString OutputFile::openTemporary()
{
    const QByteArray absolute = QFile::encodeName(QFileInfo(path).absoluteFilePath());
    const QByteArray folder = QFile::encodeName(QFileInfo(path).absolutePath());
    bool keepMode = false;
    const mode_t mode = modeFor(absolute, &keepMode);
#ifdef O_TMPFILE
    descriptor = ::open(folder.constData(), O_TMPFILE | O_WRONLY | O_CLOEXEC, mode);
    if (descriptor < 0 && errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL)
        return systemError(errno);
#endif
    for (int attempt = 0; descriptor < 0 && attempt < 100; ++attempt) {
        temporaryName = randomName(absolute);
        descriptor
            = ::open(temporaryName.constData(), O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC, mode);
        if (descriptor < 0 && errno != EEXIST) {
            temporaryName.clear();
            return systemError(errno);
        }
    }
    if (descriptor < 0) {
        temporaryName.clear();
        return systemError(EEXIST);
    }
    if (keepMode && ::fchmod(descriptor, mode) != 0)
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
    qint64 written = 0;
    while (written < size) {
        const ssize_t count = ::write(descriptor, data + written, size_t(size - written));
        if (count < 0 && errno == EINTR)
            continue;
        if (count <= 0) {
            // A disk or a size limit (ulimit -f) that runs out part of the way.
            if (written > 0 || count == 0)
                return windowText("Only %1 of %2 bytes could be written").arg(written).arg(size);
            return systemError(errno);
        }
        written += count;
    }
    // Put in place only what is on the disk, so that a crash of the system cannot leave an empty
    // file where the old one was.
    if (::fdatasync(descriptor) != 0)
        return systemError(errno);
    return QString();
}

QString OutputFile::putInPlace()
{
    const QByteArray final = QFile::encodeName(path);
    if (temporaryName.isEmpty()) {
        // Linking the file without a name gives it one, and fails where a file exists.
        const QByteArray self = "/proc/self/fd/" + QByteArray::number(descriptor);
        const QByteArray linkName = existing == Existing::Keep ? final : randomName(final);
        if (::linkat(AT_FDCWD, self.constData(), AT_FDCWD, linkName.constData(), AT_SYMLINK_FOLLOW)
            != 0) {
            existed = errno == EEXIST && existing == Existing::Keep;
            return systemError(errno);
        }
        if (existing == Existing::Keep)
            return QString();
        temporaryName = linkName;
    }
    if (existing == Existing::Replace) {
        const PendingName pending(temporaryName);
        if (PendingName::beforeRename)
            PendingName::beforeRename();
        if (::rename(temporaryName.constData(), final.constData()) != 0)
            return systemError(errno);
        temporaryName.clear();
        return QString();
    }
    // A named temporary file: renameat2 refuses to replace; where the file system cannot do that,
    // a hard link does the same.
    int result = ::renameat2(
        AT_FDCWD, temporaryName.constData(), AT_FDCWD, final.constData(), RENAME_NOREPLACE);
    if (result != 0 && (errno == EINVAL || errno == ENOSYS))
        result = ::link(temporaryName.constData(), final.constData());
    if (result != 0) {
        existed = errno == EEXIST;
        return systemError(errno);
    }
    ::unlink(temporaryName.constData()); // gone already after a rename
    temporaryName.clear();
    return QString();
}

void OutputFile::discardTemporary()
{
    if (descriptor >= 0)
        ::close(descriptor);
    descriptor = -1;
    if (!temporaryName.isEmpty())
        ::unlink(temporaryName.constData());
    temporaryName.clear();
}

QString OutputFile::defaultName(const QString &romFileName, const QString &prefix)
{
    const int dot = romFileName.lastIndexOf(QLatin1Char('.'));
    return prefix + (dot < 0 ? romFileName : romFileName.left(dot)) + QLatin1String(".z64");
}

void OutputFile::setBeforeRenameForTests(void (*hook)())
{
    PendingName::beforeRename = hook;
}

void OutputFile::reportSizeLimitsAsErrors()
{
#ifdef SIGXFSZ
    std::signal(SIGXFSZ, SIG_IGN);
#endif
}
