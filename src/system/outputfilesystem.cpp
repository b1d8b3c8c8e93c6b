#include "outputfilesystem.h"

#include <QMutex>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace OutputFileSystem {

namespace {

bool portableOnly = false;

} // namespace

Status statusOf(const QByteArray &path)
{
    struct stat found;
    Status status;
    if (::stat(path.constData(), &found) != 0)
        return status;
    status.exists = true;
    status.regularFile = S_ISREG(found.st_mode);
    status.characterDevice = S_ISCHR(found.st_mode);
    status.permissions = status.regularFile ? (found.st_mode & 07777) : 0;
    return status;
}

namespace {

QByteArray identityText(const struct stat &found)
{
    return QByteArray::number(quint64(found.st_dev)) + ':'
        + QByteArray::number(quint64(found.st_ino));
}

} // namespace

QByteArray identityOf(const QByteArray &path)
{
    struct stat found;
    return ::stat(path.constData(), &found) == 0 ? identityText(found) : QByteArray();
}

QByteArray standardInputIdentity()
{
    struct stat found;
    return ::fstat(STDIN_FILENO, &found) == 0 ? identityText(found) : QByteArray();
}

int standardOutput()
{
    return STDOUT_FILENO;
}

int createNew(const QByteArray &path, mode_t mode)
{
    return ::open(path.constData(), O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC, mode);
}

int setPermissions(int descriptor, mode_t mode)
{
    return ::fchmod(descriptor, mode);
}

qint64 writeAll(int descriptor, const char *data, qint64 size)
{
    qint64 written = 0;
    while (written < size) {
        const ssize_t count = ::write(descriptor, data + written, size_t(size - written));
        if (count < 0 && errno == EINTR)
            continue;
        if (count <= 0) {
            if (count == 0)
                errno = 0;
            break;
        }
        written += count;
    }
    return written;
}

int syncData(int descriptor)
{
    return ::fdatasync(descriptor);
}

void closeFile(int descriptor)
{
    ::close(descriptor);
}

int replace(const QByteArray &from, const QByteArray &to)
{
    return ::rename(from.constData(), to.constData());
}

void removeName(const QByteArray &path)
{
    ::unlink(path.constData());
}

void reportSizeLimitsAsErrors()
{
#ifdef SIGXFSZ
    std::signal(SIGXFSZ, SIG_IGN);
#endif
}

int openUnnamed(const QByteArray &folder, mode_t mode)
{
#ifdef O_TMPFILE
    if (!portableOnly) {
        const int descriptor = ::open(folder.constData(), O_TMPFILE | O_WRONLY | O_CLOEXEC, mode);
        // Older kernels take the flag for a plain directory open, and some file systems refuse it.
        if (descriptor >= 0 || (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL))
            return descriptor;
    }
#else
    Q_UNUSED(folder)
    Q_UNUSED(mode)
#endif
    errno = EOPNOTSUPP;
    return -1;
}

int nameUnnamed(int descriptor, const QByteArray &name)
{
    const QByteArray self = "/proc/self/fd/" + QByteArray::number(descriptor);
    return ::linkat(AT_FDCWD, self.constData(), AT_FDCWD, name.constData(), AT_SYMLINK_FOLLOW);
}

int renameNoReplace(const QByteArray &from, const QByteArray &to)
{
#ifdef RENAME_NOREPLACE
    if (!portableOnly) {
        const int result
            = ::renameat2(AT_FDCWD, from.constData(), AT_FDCWD, to.constData(), RENAME_NOREPLACE);
        if (result == 0 || (errno != EINVAL && errno != ENOSYS))
            return result;
    }
#endif
    // A hard link does the same where a file exists: it fails.
    return ::link(from.constData(), to.constData());
}

void usePortableOnly(bool portable)
{
    portableOnly = portable;
}

namespace {

constexpr int stopSignals[] = {SIGINT, SIGTERM, SIGHUP};
constexpr int slotCount = 64; // more outputs than threads are never pending at once
std::atomic<const char *> pendingNames[slotCount] = {};
struct sigaction previousActions[NSIG] = {};

void removeAndStop(int signal)
{
    for (std::atomic<const char *> &slot : pendingNames) {
        if (const char *pending = slot.load())
            ::unlink(pending);
    }
    // The handler that was there before (the progress line's, or the default) ends it.
    ::sigaction(signal, &previousActions[signal], nullptr);
    ::raise(signal);
}

void installHandlers()
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
        previousActions[signal] = current;
        ::sigaction(signal, &action, nullptr);
    }
}

} // namespace

void (*PendingName::beforeRename)() = nullptr;

PendingName::PendingName(const QByteArray &path) : name(path)
{
    installHandlers();
    for (std::atomic<const char *> &slot : pendingNames) {
        const char *empty = nullptr;
        if (slot.compare_exchange_strong(empty, name.constData())) {
            taken = &slot;
            break;
        }
    }
}

PendingName::~PendingName()
{
    if (taken)
        taken->store(nullptr);
}

} // namespace OutputFileSystem
