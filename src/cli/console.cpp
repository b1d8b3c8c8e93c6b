#include "console.h"

#include <cerrno>
#include <cstring>

namespace Console {

namespace {

QStringList &unreadableNames()
{
    static QStringList names;
    return names;
}

} // namespace

void noteUnreadableNames(const QStringList &names)
{
    unreadableNames() = names;
}

bool isUnreadableName(const QString &name)
{
    return unreadableNames().contains(name);
}

QString unreadableNameText()
{
    return QStringLiteral("The name is not valid in this system's character encoding (see LANG "
                          "and LC_ALL), so the file cannot be opened by it");
}

QString errorLine(const QString &path, const QString &reason)
{
    QString line = QStringLiteral("tidepool-cli: %1: %2").arg(path, reason);
    line.replace(QLatin1Char('\n'), QLatin1Char(' '));
    return line;
}

QString warningLine(const QString &path, const QString &text)
{
    return errorLine(path, QStringLiteral("warning: ") + text);
}

QString writeErrorLine(const QString &reason)
{
    return QStringLiteral("tidepool-cli: write error: %1").arg(reason);
}

void printLine(std::FILE *stream, const QString &text)
{
    const QByteArray bytes = text.toLocal8Bit() + '\n';
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stream);
}

int usageError(const QString &message, const QString &command)
{
    printLine(stderr, QStringLiteral("tidepool-cli: ") + message);
    const QString help = command.isEmpty() ? QStringLiteral("tidepool-cli --help")
                                           : QStringLiteral("tidepool-cli %1 --help").arg(command);
    printLine(stderr, QStringLiteral("Try '%1' for more information.").arg(help));
    return UsageError;
}

int finish(int status)
{
    errno = 0;
    const bool flushed = std::fflush(stdout) == 0;
    if (flushed && !std::ferror(stdout))
        return status;
    const int error = errno;
    printLine(stderr,
        writeErrorLine(error ? QString::fromLocal8Bit(std::strerror(error))
                             : QStringLiteral("standard output could not be written")));
    return Failure;
}

} // namespace Console
