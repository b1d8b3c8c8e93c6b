#include "commandline.h"
#include "outputfile.h"

#include <QCoreApplication>

int main(int argc, char *argv[])
{
    QCoreApplication application(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("tidepool-cli"));
    QCoreApplication::setApplicationVersion(QStringLiteral("1.0"));
    QCoreApplication::setOrganizationName(QStringLiteral("Marrowfen"));
    OutputFile::reportSizeLimitsAsErrors();
    return CommandLine::run(QCoreApplication::arguments());
}
