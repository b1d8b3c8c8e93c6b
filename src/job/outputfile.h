#ifndef OUTPUTFILE_H
#define OUTPUTFILE_H

#include <QByteArray>
#include <QFile>
#include <QSaveFile>
#include <QString>

// Writes the decompressed image. A regular file is written through a temporary file that replaces
// the target only once everything is written, so a failed save leaves an existing file as it
// was. An existing character device such as /dev/null is written to directly: replacing it would
// destroy the device. Anything else that exists and is not a regular file (a FIFO would block
// until some program reads it, a block device would be overwritten) is refused.
class OutputFile
{
public:
    explicit OutputFile(const QString &path);

    // Returns the reason the target cannot be written, or an empty string once it is open.
    QString open();

    // Checks a target without touching it, so that a save that cannot succeed is refused before
    // any work: the folder exists and takes new files, the target is no folder or special file,
    // an existing file may be written. A full disk is still only found by writing.
    static QString checkTarget(const QString &path);
    // Writes the whole image and puts it in place. Returns the reason it failed, or an empty
    // string.
    QString write(const QByteArray &image);

    // "dec_" and the file name without its last extension, then ".z64": game.v64 gives
    // dec_game.z64, a.b.z64 gives dec_a.b.z64, game gives dec_game.z64.
    static QString defaultName(const QString &romFileName);

    // A process limit on file sizes (ulimit -f) ends a program that writes past it with SIGXFSZ.
    // Ignoring the signal makes such a write fail with an error that is reported like a full disk.
    static void reportSizeLimitsAsErrors();

private:
    QFileDevice &file() { return direct ? static_cast<QFileDevice &>(device) : replacement; }

    QString path;
    QSaveFile replacement;
    QFile device;
    bool direct = false;
};

#endif // OUTPUTFILE_H
