#ifndef OUTPUTFILESYSTEM_H
#define OUTPUTFILESYSTEM_H

#include <QByteArray>

#include <atomic>
#include <sys/types.h>

// What OutputFile asks of the system, in one place: the only file besides the other seams of
// this folder that calls the system, so a port to another system supplies these. Linux writes a
// file without a name (O_TMPFILE) that vanishes by itself if the program stops, names it through
// /proc/self/fd, and renames without replacing (renameat2). Elsewhere, on file systems without
// them, and in tests that ask for it, the portable POSIX ways stand in: a named temporary file
// beside the target, link() to put it in place without replacing, rename() to replace. They cost a
// name that exists while the file is written, which a signal handler removes (PendingName), and one
// more system call to put a file in place.
namespace OutputFileSystem {

// What is at path (links followed).
struct Status
{
    bool exists = false;
    bool regularFile = false;
    bool characterDevice = false;
    mode_t permissions = 0; // of a regular file
};
Status statusOf(const QByteArray &path);

// Which file path names, links followed, as text that is equal for the same file; empty when
// nothing is there. standardInputIdentity is that of the file standard input reads.
QByteArray identityOf(const QByteArray &path);
QByteArray standardInputIdentity();

// The process's standard output, to be written directly.
int standardOutput();

// Creates a file that does not exist yet, for writing; -1 with errno when it cannot.
int createNew(const QByteArray &path, mode_t mode);
// Gives an open file these permissions; 0, or -1 with errno.
int setPermissions(int descriptor, mode_t mode);
// Writes size bytes, as many calls as it takes; returns how many were written before one failed
// (errno then says why; 0 when the disk or a size limit took no more).
qint64 writeAll(int descriptor, const char *data, qint64 size);
// Puts what was written on the disk; 0, or -1 with errno.
int syncData(int descriptor);
void closeFile(int descriptor);
// Renames from to to, replacing what is there; 0, or -1 with errno.
int replace(const QByteArray &from, const QByteArray &to);
void removeName(const QByteArray &path);
// A process limit on file sizes (ulimit -f) ends a program that writes past it with a signal;
// ignored, the write fails with an error instead.
void reportSizeLimitsAsErrors();

// Opens a new file without a name in folder for writing; -1 with errno when it cannot, EOPNOTSUPP
// when the system or the file system has no such files (then a named file stands in).
int openUnnamed(const QByteArray &folder, mode_t mode);

// Gives the file without a name open at descriptor the name; fails with EEXIST where a file is.
int nameUnnamed(int descriptor, const QByteArray &name);

// Renames from to to unless to exists (EEXIST then); from is gone afterwards only when it was
// renamed, so the caller removes it in any case.
int renameNoReplace(const QByteArray &from, const QByteArray &to);

// Tests use the portable ways on Linux too.
void usePortableOnly(bool portable);

// A name that exists only while the program works on it: removed by the handler of SIGINT,
// SIGTERM and SIGHUP if one stops the program meanwhile, which then passes the signal on to the
// handler that was there before (the progress line's, or the default).
class PendingName
{
public:
    explicit PendingName(const QByteArray &path);
    ~PendingName();
    PendingName(const PendingName &) = delete;
    PendingName &operator=(const PendingName &) = delete;

    // Called before a named file is renamed into place; tests stop the program there.
    static void (*beforeRename)();

private:
    QByteArray name;
    std::atomic<const char *> *taken = nullptr; // the slot the handler finds the name in
};

} // namespace OutputFileSystem

#endif // OUTPUTFILESYSTEM_H
