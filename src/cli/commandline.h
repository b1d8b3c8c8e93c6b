#ifndef COMMANDLINE_H
#define COMMANDLINE_H

#include <QString>
#include <QStringList>

// tidepool-cli's arguments: the command, its options and its ROMs. Usage errors end here with
// status 2; the commands do the work.
namespace CommandLine {

enum ExitStatus { Success = 0, Failure = 1, UsageError = 2 };

int run(const QStringList &arguments);

// "tidepool-cli: PATH: reason" on one line, the way every error is reported.
QString errorLine(const QString &path, const QString &reason);

} // namespace CommandLine

#endif // COMMANDLINE_H
