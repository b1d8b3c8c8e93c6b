#ifndef COMMAND_H
#define COMMAND_H

#include <QCommandLineOption>
#include <QList>
#include <QString>
#include <QStringList>

class QCommandLineParser;

// One command of tidepool-cli ("decompress", "info"): it owns its options, its help text and the
// reading of its own command line; run does the work.
class Command
{
public:
    Command(const char *name, const char *summary);
    virtual ~Command();

    const QString name;
    const QString summary; // one line for the list of commands

    // The options this command takes, besides --help.
    virtual QList<QCommandLineOption> options() const = 0;

    // Reads arguments (the program name first, the command's name left out) and runs. An option
    // of one of the others is refused by that command's name.
    int execute(const QStringList &arguments, const QList<const Command *> &others) const;

    QString helpText() const;

protected:
    // Runs with the parsed options and the ROMs named (at least one).
    virtual int run(const QCommandLineParser &parser, const QStringList &roms) const = 0;

private:
    void describe(QCommandLineParser &parser) const;
};

// The first argument before "--" that is no option of options, as typed; empty when all are.
// Short options may be packed ("-fq"); one that takes a value takes the rest of its argument or
// the next argument.
QString unknownOption(const QStringList &arguments, const QList<QCommandLineOption> &options);

#endif // COMMAND_H
