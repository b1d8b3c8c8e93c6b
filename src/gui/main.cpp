#include "mainwindow.h"
#include "outputfile.h"
#include "windowarguments.h"

#include <QApplication>
#include <QIcon>
#include <QTimer>

#include <cstdio>

int main(int argc, char *argv[])
{
    QApplication::setApplicationName(QStringLiteral("Tidepool"));
    QApplication::setApplicationVersion(QStringLiteral("1.0"));
    QApplication::setOrganizationName(QStringLiteral("Marrowfen"));
    QApplication::setOrganizationDomain(QStringLiteral("marrowfen.example"));
    // Read before the GUI application exists: --help and --version need no display.
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    const WindowArguments::Parsed parsed = WindowArguments::parse(arguments);
    if (parsed.exitCode >= 0) {
        std::fputs(parsed.output.toLocal8Bit().constData(), parsed.exitCode == 0 ? stdout : stderr);
        return parsed.exitCode;
    }

    // The icon lives in a static library, whose resources are not registered on their own.
    Q_INIT_RESOURCE(tidepool);
    int exitCode = 0;
    {
        QApplication application(argc, argv);
        OutputFile::reportSizeLimitsAsErrors();
        QApplication::setApplicationDisplayName(
            QApplication::applicationName() + QLatin1Char(' ') + QStringLiteral("1.0"));
        QApplication::setWindowIcon(QIcon(QStringLiteral(":/app/ico")));
        MainWindow window;
        window.show();
        // As if the file had been dropped on the window, once the window is up.
        if (!parsed.rom.isEmpty())
            QTimer::singleShot(0, &window, [&window, rom = parsed.rom] { window.openRom(rom); });
        exitCode = application.exec();
    }
    Q_CLEANUP_RESOURCE(tidepool);
    return exitCode;
}
