#include "commandline.h"
#include "console.h"
#include "outputfile.h"

#include <QCoreApplication>
#include <QFile>

int main(int argc, char *argv[])
{
    QCoreApplication application(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("tidepool-cli"));
    QCoreApplication::setApplicationVersion(QStringLiteral("1.0"));
    QCoreApplication::setOrganizationName(QStringLiteral("Marrowfen"));
    OutputFile::reportSizeLimitsAsErrors();
    // Arguments that do not survive decoding and encoding again name files that cannot be
    // opened through the decoded name.
    QStringList arguments;
    QStringList unreadable;
    for (int i = 0; i < argc; ++i) {
        arguments << QFile::decodeName(argv[i]);
        if (QFile::encodeName(arguments.last()) != argv[i])
            unreadable << arguments.last();
    }
    Console::noteUnreadableNames(unreadable);
    return Console::finish(CommandLine::run(arguments));
}
