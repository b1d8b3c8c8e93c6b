#ifndef COMMANDLINE_H
#define COMMANDLINE_H

#include <QStringList>

// tidepool-cli's command line: finds the command among the arguments and hands them to it, or
// answers --help, --help-all, --version and --list-games itself.
namespace CommandLine {

// arguments start with the program's name; returns the exit status.
int run(const QStringList &arguments);

} // namespace CommandLine

#endif // COMMANDLINE_H
