#ifndef WINDOWARGUMENTS_H
#define WINDOWARGUMENTS_H

#include <QString>
#include <QStringList>

// The window program's command line: "tidepool [ROM]", --help and --version. It is read before
// the GUI application exists, so that --help and --version work without a display; the options
// Qt's GUI application reads for itself (-platform, -style, ...) pass through.
namespace WindowArguments {

struct Parsed
{
    QString rom; // the ROM to open at start, or empty
    int exitCode = -1; // 0 or 2 when the program ends here, with output on stdout or stderr
    QString output;
};

Parsed parse(const QStringList &arguments);

} // namespace WindowArguments

#endif // WINDOWARGUMENTS_H
