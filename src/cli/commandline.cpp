#include "commandline.h"

#include "decompresscommand.h"
#include "filetable.h"
#include "gamepresets.h"
#include "infocommand.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QThread>

#include <cstdio>

namespace CommandLine {

namespace {

const char commandsHelp[] = "\n"
                            "Commands:\n"
                            "  decompress ROM...  write a decompressed copy of each ROM\n"
                            "  info ROM...        say what each ROM is\n";

void printLine(std::FILE *stream, const QString &text)
{
    std::fprintf(stream, "%s\n", text.toLocal8Bit().constData());
}

int usageError(const QString &message)
{
    printLine(stderr, QStringLiteral("tidepool-cli: ") + message);
    printLine(stderr, QStringLiteral("Try 'tidepool-cli --help' for more information."));
    return UsageError;
}

struct Options
{
    QCommandLineOption output {
        {"o", "output"}, "Write the decompressed ROM to FILE (one ROM only).", "FILE"};
    QCommandLineOption directory {
        {"d", "directory"}, "Write the decompressed ROMs into DIR.", "DIR"};
    QCommandLineOption game {"game",
        "Use the file table address of the game NAME (see --list-games; a unique beginning "
        "of the name will do).",
        "NAME"};
    QCommandLineOption table {
        "table", "Read the file table at ADDRESS (0x for hexadecimal, else decimal).", "ADDRESS"};
    QCommandLineOption noTableCheck {
        "no-table-check", "Go on even if the table does not start with the expected entry."};
    QCommandLineOption force {{"f", "force"}, "Replace output files that exist."};
    QCommandLineOption jobs {
        {"j", "jobs"}, "Decompress N ROMs at once (default: the number of cores).", "N"};
    QCommandLineOption quiet {{"q", "quiet"}, "Print nothing but errors."};
    QCommandLineOption verbose {{"v", "verbose"}, "Say what was written for each ROM."};
    QCommandLineOption json {"json", "info: print the facts as JSON."};
    QCommandLineOption listGames {"list-games", "List the games and their file table addresses."};
};

void listGames()
{
    for (int i = 1; i < GamePresets::count(); ++i) {
        const GamePresets::Preset &preset = GamePresets::at(i);
        if (preset.name) {
            printLine(stdout,
                FileTable::addressText(preset.fileTableAddress) + QLatin1String("  ")
                    + GamePresets::nameAt(i));
        }
    }
}

// Fills in where the table is, from --game or --table. Returns a usage error or an empty string.
QString readTableChoice(
    const QCommandLineParser &parser, const Options &options, DecompressCommand::Settings &settings)
{
    if (parser.isSet(options.game) && parser.isSet(options.table))
        return QStringLiteral("--game and --table cannot be used together");
    if (parser.isSet(options.game)) {
        QString error;
        const int preset = GamePresets::indexForName(parser.value(options.game), &error);
        if (preset < 0)
            return error + QStringLiteral(" (see --list-games)");
        if (preset == 0)
            return QStringLiteral("\"Other\" has no file table address; use --table");
        settings.addressGiven = true;
        settings.address = GamePresets::at(preset).fileTableAddress;
    }
    if (parser.isSet(options.table)) {
        const QString text = parser.value(options.table);
        if (!FileTable::readAddressText(text, &settings.address)) {
            return QStringLiteral("\"%1\" is not an address: use 0x and hexadecimal digits, or a "
                                  "decimal number")
                .arg(text);
        }
        settings.addressGiven = true;
    }
    return QString();
}

QString readOutputChoice(
    const QCommandLineParser &parser, const Options &options, DecompressCommand::Settings &settings)
{
    if (parser.isSet(options.output) && parser.isSet(options.directory))
        return QStringLiteral("-o and -d cannot be used together");
    if (parser.isSet(options.output) && settings.roms.size() != 1)
        return QStringLiteral("-o takes one ROM; use -d for several");
    settings.output = parser.value(options.output);
    settings.directory = parser.value(options.directory);
    settings.jobs = QThread::idealThreadCount();
    if (parser.isSet(options.jobs)) {
        bool ok = false;
        settings.jobs = parser.value(options.jobs).toInt(&ok);
        if (!ok || settings.jobs < 1)
            return QStringLiteral("-j takes a number of ROMs of at least 1");
    }
    return QString();
}

int runDecompress(const QCommandLineParser &parser, const Options &options, const QStringList &roms)
{
    if (parser.isSet(options.json))
        return usageError(QStringLiteral("--json goes with info"));
    DecompressCommand::Settings settings;
    settings.roms = roms;
    QString error = readTableChoice(parser, options, settings);
    if (error.isEmpty())
        error = readOutputChoice(parser, options, settings);
    if (!error.isEmpty())
        return usageError(error);
    settings.checkFirstEntry = !parser.isSet(options.noTableCheck);
    settings.force = parser.isSet(options.force);
    settings.quiet = parser.isSet(options.quiet);
    settings.verbose = parser.isSet(options.verbose) && !settings.quiet;
    return DecompressCommand::run(settings);
}

int runInfo(const QCommandLineParser &parser, const Options &options, const QStringList &roms)
{
    for (const QCommandLineOption *decompressOnly :
        {&options.output, &options.directory, &options.game, &options.table, &options.noTableCheck,
            &options.force, &options.jobs, &options.verbose}) {
        if (parser.isSet(*decompressOnly)) {
            return usageError(
                QStringLiteral("--%1 goes with decompress").arg(decompressOnly->names().last()));
        }
    }
    return InfoCommand::run(roms, parser.isSet(options.json));
}

} // namespace

QString errorLine(const QString &path, const QString &reason)
{
    QString line = QStringLiteral("tidepool-cli: %1: %2").arg(path, reason);
    line.replace(QLatin1Char('\n'), QLatin1Char(' '));
    return line;
}

int run(const QStringList &arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Decompresses N64 ROMs of Ocarina of Time, Majora's Mask and Doubutsu no "
                       "Mori, and tells what a ROM is."));
    const QCommandLineOption help = parser.addHelpOption();
    // Qt's own version option also takes -v, which is --verbose here.
    const QCommandLineOption version(
        QStringLiteral("version"), QStringLiteral("Displays version information."));
    parser.addOption(version);
    const Options options;
    parser.addOptions({options.output, options.directory, options.game, options.table,
        options.noTableCheck, options.force, options.jobs, options.quiet, options.verbose,
        options.json, options.listGames});
    parser.addPositionalArgument(QStringLiteral("command"), QStringLiteral("decompress or info"));
    parser.addPositionalArgument(QStringLiteral("ROM"),
        QStringLiteral("ROM files (z64, v64 or n64)"), QStringLiteral("ROM..."));

    if (!parser.parse(arguments))
        return usageError(parser.errorText());
    if (parser.isSet(help)) {
        std::fputs(parser.helpText().toLocal8Bit().constData(), stdout);
        std::fputs(commandsHelp, stdout);
        return Success;
    }
    if (parser.isSet(version)) {
        printLine(stdout,
            QCoreApplication::applicationName() + QLatin1Char(' ')
                + QCoreApplication::applicationVersion());
        return Success;
    }
    if (parser.isSet(options.listGames)) {
        listGames();
        return Success;
    }

    QStringList positional = parser.positionalArguments();
    if (positional.isEmpty())
        return usageError(QStringLiteral("no command given: decompress or info"));
    const QString command = positional.takeFirst();
    if (command != QLatin1String("decompress") && command != QLatin1String("info"))
        return usageError(
            QStringLiteral("unknown command \"%1\": decompress or info").arg(command));
    if (positional.isEmpty())
        return usageError(QStringLiteral("%1 needs at least one ROM").arg(command));
    return command == QLatin1String("decompress") ? runDecompress(parser, options, positional)
                                                  : runInfo(parser, options, positional);
}

} // namespace CommandLine
