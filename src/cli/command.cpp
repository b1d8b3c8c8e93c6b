#include "command.h"

#include "console.h"

#include <QCommandLineParser>
#include <QSet>

#include <cstdio>

namespace {

bool isOptionOf(const QList<QCommandLineOption> &options, const QString &name, bool *takesValue)
{
    for (const QCommandLineOption &option : options) {
        if (option.names().contains(name)) {
            *takesValue = !option.valueName().isEmpty();
            return true;
        }
    }
    return false;
}

} // namespace

QString unknownOption(const QStringList &arguments, const QList<QCommandLineOption> &options)
{
    for (int i = 1; i < arguments.size(); ++i) {
        const QString &argument = arguments.at(i);
        if (argument == QLatin1String("--"))
            break;
        if (!argument.startsWith(QLatin1Char('-')) || argument == QLatin1String("-"))
            continue;
        bool takesValue = false;
        if (argument.startsWith(QLatin1String("--"))) {
            const QString name = argument.mid(2).section(QLatin1Char('='), 0, 0);
            if (!isOptionOf(options, name, &takesValue))
                return argument;
            if (takesValue && !argument.contains(QLatin1Char('=')))
                ++i;
            continue;
        }
        for (int j = 1; j < argument.size(); ++j) {
            if (!isOptionOf(options, argument.mid(j, 1), &takesValue))
                return argument;
            if (takesValue) {
                if (j == argument.size() - 1)
                    ++i;
                break;
            }
        }
    }
    return QString();
}

Command::Command(const char *commandName, const char *commandSummary)
    : name(QString::fromLatin1(commandName)), summary(QString::fromLatin1(commandSummary))
{ }

Command::~Command() = default;

void Command::describe(QCommandLineParser &parser) const
{
    parser.setApplicationDescription(summary);
    parser.addOptions(options());
    parser.addOption({{QStringLiteral("h"), QStringLiteral("help")},
        QStringLiteral("Displays help on this command.")});
    parser.addPositionalArgument(QStringLiteral("ROM"),
        QStringLiteral("ROM files (z64, v64 or n64); - is standard input"),
        QStringLiteral("ROM..."));
}

QString Command::helpText() const
{
    QCommandLineParser parser;
    describe(parser);
    QString text = parser.helpText();
    // Qt names the program by the path it was started from.
    text.replace(0, text.indexOf(QLatin1Char('\n')),
        QStringLiteral("Usage: tidepool-cli %1 [options] [--] ROM...").arg(name));
    return text;
}

// The other command that takes option, if one does.
static QString ownerOf(const QString &option, const QList<const Command *> &others)
{
    for (const Command *other : others) {
        if (unknownOption({QString(), option}, other->options()).isEmpty())
            return other->name;
    }
    return QString();
}

int Command::execute(const QStringList &arguments, const QList<const Command *> &others) const
{
    QList<QCommandLineOption> known = options();
    known << QCommandLineOption(QStringList {QStringLiteral("h"), QStringLiteral("help")});
    const QString unknown = unknownOption(arguments, known);
    if (!unknown.isEmpty()) {
        const QString owner = ownerOf(unknown, others);
        if (!owner.isEmpty()) {
            return Console::usageError(
                QStringLiteral("'%1' goes with %2, not %3").arg(unknown, owner, name), name);
        }
        return Console::usageError(
            QStringLiteral("unknown option '%1' (to name a file that starts with '-', put '--' "
                           "before it)")
                .arg(unknown),
            name);
    }
    QCommandLineParser parser;
    describe(parser);
    if (!parser.parse(arguments))
        return Console::usageError(parser.errorText(), name);
    if (parser.isSet(QStringLiteral("help"))) {
        std::fputs(helpText().toLocal8Bit().constData(), stdout);
        return Console::Success;
    }
    const QStringList roms = parser.positionalArguments();
    if (roms.isEmpty())
        return Console::usageError(QStringLiteral("%1 needs at least one ROM").arg(name), name);
    return run(parser, roms);
}
