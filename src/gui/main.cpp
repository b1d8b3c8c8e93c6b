#include "mainwindow.h"
#include "outputfile.h"

#include <QApplication>
#include <QIcon>

int main(int argc, char *argv[])
{
    // The icon lives in a static library, whose resources are not registered on their own.
    Q_INIT_RESOURCE(tidepool);
    int exitCode = 0;
    {
        QApplication application(argc, argv);
        OutputFile::reportSizeLimitsAsErrors();
        QApplication::setApplicationName(QStringLiteral("Tidepool"));
        QApplication::setApplicationDisplayName(
            QApplication::applicationName() + QLatin1Char(' ') + QStringLiteral("1.0"));
        QApplication::setApplicationVersion(QStringLiteral("1.0"));
        QApplication::setOrganizationName(QStringLiteral("Marrowfen"));
        QApplication::setOrganizationDomain(QStringLiteral("marrowfen.example"));
        QApplication::setWindowIcon(QIcon(QStringLiteral(":/app/ico")));
        MainWindow window;
        window.show();
        exitCode = application.exec();
    }
    Q_CLEANUP_RESOURCE(tidepool);
    return exitCode;
}
