#include "windowarguments.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFileInfo>

namespace WindowArguments {

namespace {

// What QGuiApplication and QApplication take from the command line themselves.
const char *const qtValueOptions[] = {"platform", "platformpluginpath", "platformtheme", "plugin",
    "qwindowgeometry", "qwindowicon", "qwindowtitle", "session", "display", "geometry", "title",
    "name", "style", "stylesheet", "qmljsdebugger"};
const char *const qtFlagOptions[] = {"reverse", "widgetcount", "nograb", "dograb", "sync"};

QString usageLine()
{
    return QStringLiteral("Usage: tidepool [ROM]");
}

QString helpText()
{
    return usageLine()
        + QStringLiteral("\n%1\n\n"
                         "Opens the window, and the ROM when one is given (z64, v64 or n64).\n\n"
                         "Options:\n"
                         "  -h, --help  Displays help on the command line.\n"
                         "  --version   Displays version information.\n\n"
                         "The window's options of Qt (-platform, -style, ...) are accepted.\n"
                         "tidepool-cli does the same job without a window.\n")
              .arg(QStringLiteral("Decompresses N64 ROMs of Ocarina of Time, Majora's Mask and "
                                  "Doubutsu no Mori."));
}

Parsed usageError(const QString &message)
{
    Parsed parsed;
    parsed.exitCode = 2;
    parsed.output
        = QStringLiteral("tidepool: %1\n%2\nTry 'tidepool --help' for more information.\n")
              .arg(message, usageLine());
    return parsed;
}

} // namespace

Parsed parse(const QStringList &arguments)
{
    QCommandLineParser parser;
    // Qt's own options are single-dash words such as -platform.
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")}, QString());
    const QCommandLineOption version(QStringLiteral("version"), QString());
    parser.addOption(help);
    parser.addOption(version);
    for (const char *name : qtValueOptions)
        parser.addOption(
            QCommandLineOption(QString::fromLatin1(name), QString(), QStringLiteral("value")));
    for (const char *name : qtFlagOptions)
        parser.addOption(QCommandLineOption(QString::fromLatin1(name), QString()));

    if (!parser.parse(arguments))
        return usageError(parser.errorText());
    Parsed parsed;
    if (parser.isSet(help)) {
        parsed.exitCode = 0;
        parsed.output = helpText();
        return parsed;
    }
    if (parser.isSet(version)) {
        parsed.exitCode = 0;
        parsed.output = QStringLiteral("%1 %2\n").arg(
            QCoreApplication::applicationName(), QCoreApplication::applicationVersion());
        return parsed;
    }
    const QStringList roms = parser.positionalArguments();
    if (roms.size() > 1)
        return usageError(QStringLiteral("one ROM at a time"));
    if (!roms.isEmpty())
        parsed.rom = QFileInfo(roms.first()).absoluteFilePath();
    return parsed;
}

} // namespace WindowArguments
