#ifndef OUTPUTFILE_H
#define OUTPUTFILE_H

#include <QByteArray>
#include <QFile>
#include <QString>

#include <memory>

namespace OutputFileSystem {
class PendingName;
}

// Writes the decompressed image. A regular file is written as a new file without a name in the
// target's folder, which is put in place only once everything is written: a failed save leaves
// an existing file as it was, and a program stopped half-way (a signal, a crash) leaves nothing
// behind. An existing character device such as /dev/null is written to directly: replacing it
// would destroy the device. Anything else that exists and is not a regular file (a FIFO would
// block until some program reads it, a block device would be overwritten) is refused.
class OutputFile
{
public:
    // What putting the image in place does to a file that has appeared at the path meanwhile.
    enum class Existing {
        Replace, // replaced atomically
        Keep, // the write fails, so that of two programs writing one new file, one loses
    };

    // Where the image goes: the path, or the process's standard output (written directly).
    enum class Target { Path, StandardOutput };

    explicit OutputFile(
        const QString &path, Existing existing = Existing::Replace, Target target = Target::Path);
    ~OutputFile();
    OutputFile(const OutputFile &) = delete;
    OutputFile &operator=(const OutputFile &) = delete;

    // Returns the reason the target cannot be written, or an empty string once it is open.
    QString open();

    // Checks a target without touching it, so that a save that cannot succeed is refused before
    // any work: the folder exists and takes new files, the target is no folder or special file,
    // an existing file may be written. A full disk is still only found by writing.
    static QString checkTarget(const QString &path);

    // The part of checkTarget that depends only on what the target is: a folder, a FIFO, a
    // socket or a block device is refused.
    static QString checkKind(const QString &path);

    // Writes the whole image and puts it in place. Returns the reason it failed, or an empty
    // string.
    QString write(const QByteArray &image);
    QString write(const char *data, qint64 size);

    // The same in two steps, for a target written through a file without a name: the whole image
    // is written and on the disk, but nothing is seen at the path until place() is called; an
    // OutputFile destroyed before that leaves nothing behind. Meanwhile the image can be checked.
    bool writesUnseen() const { return !direct; }
    QString writeUnseen(const char *data, qint64 size);
    QString place();

    // After a failed write with Existing::Keep: a file was at the path when the image was to be
    // put there.
    bool metExistingFile() const { return existed; }

    // A process limit on file sizes (ulimit -f) ends a program that writes past it with SIGXFSZ.
    // Ignoring the signal makes such a write fail with an error that is reported like a full disk.
    static void reportSizeLimitsAsErrors();

private:
    QString openTemporary();
    QString writeTemporary(const char *data, qint64 size);
    QString putInPlace();
    void discardTemporary();

    QString path;
    Existing existing;
    Target target;
    QFile device; // a character device, written directly
    bool direct = false;
    int descriptor = -1; // the temporary file
    QByteArray temporaryName; // empty while the temporary file has no name
    std::unique_ptr<OutputFileSystem::PendingName> pending; // the name, until it is in place
    bool existed = false;
};

#endif // OUTPUTFILE_H
