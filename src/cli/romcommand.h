#ifndef ROMCOMMAND_H
#define ROMCOMMAND_H

#include "command.h"
#include "outputnames.h"
#include "romjob.h"

class ProgressLine;
#include <QAtomicInt>
#include <QString>
#include <QStringList>

#include <functional>

// What the commands that make a ROM from each ROM given (decompress, compress) share: the
// options for the output, the table and the batch, the refusals before any work (outputs that
// clash or would land on an input), the progress line, and a batch in which one ROM that fails
// does not stop the others.
class RomCommand : public Command
{
public:
    struct Settings
    {
        QStringList roms; // "-" is standard input
        QStringList otherInputs; // files read besides the ROMs, never written over either
        QString output; // one ROM's output file ("-": standard output), or empty
        QString directory; // the folder for every output, or empty: beside each ROM
        const char *outputPrefix = OutputNames::decompressedPrefix; // of the default output name
        bool addressGiven = false; // otherwise each ROM's build string gives it
        qint32 address = 0;
        bool checkFirstEntry = true;
        bool force = false;
        int jobs = 1;
        bool quiet = false;
        bool verbose = false;
        bool processEndsAfter = false; // memory may be left to the system at the end
        RomJob::CompressRequest compress; // compress only: the layout asked for
    };

    // One ROM of the batch, and its output.
    struct Task
    {
        QString rom;
        QString output;
        QString failedPath; // set when the task is refused before it starts
        QString error;
    };
    // How the batch is going, counted from its threads.
    struct Tally
    {
        int total = 0;
        QAtomicInt finished = 0;
        QAtomicInt failed = 0;
        QAtomicInt misused = 0; // failed because the request does not fit the ROM
    };

    // Where the copy of rom goes.
    static QString outputPathFor(const Settings &settings, const QString &rom);

    // Shows progress on the progress line; now shows it at once.
    using Progress = std::function<void(const QString &what, bool now)>;

protected:
    RomCommand(const char *name, const char *summary, const char *outputPrefix);

    // The options every such command takes.
    static QList<QCommandLineOption> sharedOptions();
    // Reads the shared options; returns a usage error or an empty string.
    QString readSettings(
        const QCommandLineParser &parser, const QStringList &roms, Settings &settings) const;

    // Runs the job on every ROM; returns 0 when every one was written, 1 when any failed.
    int runAll(const Settings &settings) const;

    virtual RomJob::Result runJob(const Settings &settings, const RomJob::Request &request,
        const Progress &progress) const = 0;
    // How many ROMs are worked on at once.
    virtual int romsAtOnce(const Settings &settings) const { return settings.jobs; }
    virtual QString successLine(const RomJob::Request &request, const RomJob::Result &result) const;
    // What to do about a table that does not start as expected, with this command's options,
    // when the address was given or when the build string led to it.
    virtual QString firstEntryAdvice(bool addressGiven) const = 0;

    // The core's reason, and what to do about it on this command line.
    QString withAdvice(const Settings &settings, const RomJob::Result &result) const;

private:
    // Why no ROM can be worked on (an error line), or an empty string.
    static QString refusalBeforeAnyRom(const Settings &settings);
    QString failureLine(const Settings &settings, const RomJob::Request &request,
        const RomJob::Result &result) const;
    void runTask(
        const Settings &settings, const Task &task, ProgressLine &progress, Tally &tally) const;

    const char *const outputPrefix;
};

#endif // ROMCOMMAND_H
