#include "outputfile.h"

#include "windowtext.h"

#include <QFileInfo>

#include <csignal>
#ifdef Q_OS_UNIX
#include <sys/stat.h>
#endif

namespace {

bool isCharacterDevice(const QString &path)
{
#ifdef Q_OS_UNIX
    struct stat status;
    return ::stat(QFile::encodeName(path).constData(), &status) == 0 && S_ISCHR(status.st_mode);
#else
    Q_UNUSED(path);
    return false;
#endif
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

} // namespace

OutputFile::OutputFile(const QString &target)
    : path(target), replacement(target), device(target) { }

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
    // The temporary file and the rename both need a folder that takes new files.
    const QFileInfo folder(target.absolutePath());
    if (!folder.isDir())
        return windowText("No such file or directory");
    return folder.isWritable() ? QString() : windowText("Permission denied");
}

QString OutputFile::open()
{
    const QString refusal = refusalForKind(QFileInfo(path), &direct);
    if (!refusal.isEmpty())
        return refusal;
    if (!file().open(QFile::WriteOnly))
        return file().errorString();
    return QString();
}

QString OutputFile::write(const QByteArray &image)
{
    const qint64 count = file().write(image);
    const bool written = count == image.size() && (direct ? device.flush() : replacement.commit());
    if (written)
        return QString();
    // A short write without an error (the disk or a size limit ran out) has no system text.
    if (file().error() == QFileDevice::NoError && count >= 0 && count < image.size())
        return windowText("Only %1 of %2 bytes could be written").arg(count).arg(image.size());
    return file().errorString();
}

QString OutputFile::defaultName(const QString &romFileName)
{
    const int dot = romFileName.lastIndexOf(QLatin1Char('.'));
    return QLatin1String("dec_") + (dot < 0 ? romFileName : romFileName.left(dot))
        + QLatin1String(".z64");
}

void OutputFile::reportSizeLimitsAsErrors()
{
#ifdef SIGXFSZ
    std::signal(SIGXFSZ, SIG_IGN);
#endif
}
