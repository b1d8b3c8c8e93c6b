#include "commandline.h"

#include "compresscommand.h"
#include "console.h"
#include "decompresscommand.h"
#include "filetable.h"
#include "gamepresets.h"
#include "infocommand.h"

#include <QCommandLineParser>
#include <QCoreApplication>

#include <cstdio>

namespace CommandLine {

namespace {

const DecompressCommand decompressCommand;
const CompressCommand compressCommand;
const InfoCommand infoCommand;
// Every command, in the order the help lists them.
const QList<const Command *> commands {&decompressCommand, &compressCommand, &infoCommand};

const QCommandLineOption helpOption {{"h", "help"}, "Displays this help."};
const QCommandLineOption helpAllOption {"help-all", "Displays help on every command."};
const QCommandLineOption versionOption {"version", "Displays version information."};
const QCommandLineOption listGamesOption {
    "list-games", "Lists the games and their file table addresses."};

QString commandNames()
{
    QStringList names;
    for (const Command *command : commands)
        names << command->name;
    return names.join(QLatin1String(" or "));
}

const Command *commandNamed(const QString &name)
{
    for (const Command *command : commands) {
        if (command->name == name)
            return command;
    }
    return nullptr;
}

QString helpText()
{
    QString text = QStringLiteral(
        "Usage: tidepool-cli COMMAND [options] [--] ROM...\n"
        "Decompresses N64 ROMs of Ocarina of Time, Majora's Mask and Doubutsu no Mori, compresses "
        "them back, and tells what a ROM is.\n\nCommands:\n");
    for (const Command *command : commands)
        text += QStringLiteral("  %1  %2\n").arg(command->name.leftJustified(10), command->summary);
    text += QStringLiteral("\nOptions:\n");
    for (const QCommandLineOption *option :
        {&helpOption, &helpAllOption, &versionOption, &listGamesOption}) {
        QStringList names;
        for (const QString &name : option->names())
            names << (name.size() == 1 ? QLatin1String("-") : QLatin1String("--")) + name;
        text += QStringLiteral("  %1  %2\n")
                    .arg(names.join(QLatin1String(", ")).leftJustified(12), option->description());
    }
    text += QStringLiteral("\n'tidepool-cli COMMAND --help' shows the options of a command.\n");
    return text;
}

void listGames()
{
    for (int i = 1; i < GamePresets::count(); ++i) {
        const GamePresets::Preset &preset = GamePresets::at(i);
        if (preset.name) {
            Console::printLine(stdout,
                FileTable::addressText(preset.fileTableAddress) + QLatin1String("  ")
                    + GamePresets::nameAt(i));
        }
    }
}

// An option of some command that takes its value from the next argument, as "-o" or "--game".
bool takesNextArgument(const QString &argument)
{
    for (const Command *command : commands) {
        for (const QCommandLineOption &option : command->options()) {
            if (option.valueName().isEmpty())
                continue;
            for (const QString &name : option.names()) {
                if (argument
                    == (name.size() == 1 ? QLatin1String("-") : QLatin1String("--")) + name)
                    return true;
            }
        }
    }
    return false;
}

// Where the command's name stands: the first argument that is neither an option nor the value of
// one, or -1. Options may come before the command's name.
int commandIndex(const QStringList &arguments)
{
    for (int i = 1; i < arguments.size(); ++i) {
        const QString &argument = arguments.at(i);
        if (argument == QLatin1String("--"))
            return i + 1 < arguments.size() ? i + 1 : -1;
        if (!argument.startsWith(QLatin1Char('-')) || argument == QLatin1String("-"))
            return i;
        if (takesNextArgument(argument))
            ++i;
    }
    return -1;
}

int runWithoutCommand(const QStringList &arguments)
{
    QCommandLineParser parser;
    parser.addOptions({helpOption, helpAllOption, versionOption, listGamesOption});
    const QString unknown
        = unknownOption(arguments, {helpOption, helpAllOption, versionOption, listGamesOption});
    if (!unknown.isEmpty())
        return Console::usageError(QStringLiteral("unknown option '%1'").arg(unknown));
    if (!parser.parse(arguments))
        return Console::usageError(parser.errorText());
    if (parser.isSet(helpAllOption)) {
        QString text = helpText();
        for (const Command *command : commands)
            text += QLatin1Char('\n') + command->helpText();
        std::fputs(text.toLocal8Bit().constData(), stdout);
        return Console::Success;
    }
    if (parser.isSet(helpOption)) {
        std::fputs(helpText().toLocal8Bit().constData(), stdout);
        return Console::Success;
    }
    if (parser.isSet(versionOption)) {
        Console::printLine(stdout,
            QCoreApplication::applicationName() + QLatin1Char(' ')
                + QCoreApplication::applicationVersion());
        return Console::Success;
    }
    if (parser.isSet(listGamesOption)) {
        listGames();
        return Console::Success;
    }
    return Console::usageError(QStringLiteral("no command given: %1").arg(commandNames()));
}

} // namespace

int run(const QStringList &arguments)
{
    const int index = commandIndex(arguments);
    if (index < 0)
        return runWithoutCommand(arguments);
    const Command *command = commandNamed(arguments.at(index));
    if (!command) {
        return Console::usageError(
            QStringLiteral("unknown command \"%1\": %2").arg(arguments.at(index), commandNames()));
    }
    QStringList forCommand = arguments;
    forCommand.removeAt(index);
    QList<const Command *> others = commands;
    others.removeOne(command);
    return command->execute(forCommand, others);
}

} // namespace CommandLine
