#ifndef CONSOLE_H
#define CONSOLE_H

#include <QString>
#include <QStringList>

#include <cstdio>

// How tidepool-cli talks: its exit statuses and the one shape of every line it prints on
// stderr. Printing goes through here (or through a ProgressLine, which uses it), so that a
// failed write to stdout is noticed.
namespace Console {

enum ExitStatus { Success = 0, Failure = 1, UsageError = 2 };

// "tidepool-cli: PATH: reason" on one line, the way every error is reported.
QString errorLine(const QString &path, const QString &reason);
// "tidepool-cli: PATH: warning: text": something the user should know about a job that worked.
QString warningLine(const QString &path, const QString &text);

// "tidepool-cli: write error: reason": standard output could not be written.
QString writeErrorLine(const QString &reason);

// Writes text and a line end on stream, in the locale's encoding.
void printLine(std::FILE *stream, const QString &text);

// Says what is wrong with the command line and where help is; returns UsageError.
int usageError(const QString &message, const QString &command = QString());

// Flushes stdout and turns a failed write to it (a full disk, a closed stream) into an error
// line and Failure; otherwise returns status.
int finish(int status);

// Arguments whose bytes are not valid in the locale's encoding cannot be turned back into the
// file's name; main notes them (as Qt decoded them) so that such a file is not reported missing.
void noteUnreadableNames(const QStringList &names);
bool isUnreadableName(const QString &name);
QString unreadableNameText();

} // namespace Console

#endif // CONSOLE_H
