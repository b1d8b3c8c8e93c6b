#include "romcommand.h"

#include "checksum.h"
#include "console.h"
#include "filetable.h"
#include "gamepresets.h"
#include "outputfilesystem.h"
#include "outputnames.h"
#include "progressline.h"
#include "rominfo.h"
#include "romjob.h"
#include "terminal.h"

#include <QAtomicInt>
#include <QCommandLineParser>
#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QThread>
#include <QThreadPool>

#include <new>

namespace {

using Task = RomCommand::Task;

const QString standardStream = QStringLiteral("-");

const QCommandLineOption outputOption {
    {"o", "output"}, "Write the ROM made to FILE (one ROM only; - is standard output).", "FILE"};
const QCommandLineOption directoryOption {
    {"d", "directory"}, "Write the ROMs made into DIR, which is made if it is missing.", "DIR"};
const QCommandLineOption gameOption {"game",
    "Use the file table address of the game NAME (see --list-games; a unique beginning of the "
    "name will do).",
    "NAME"};
const QCommandLineOption tableOption {"table",
    "Read the file table at ADDRESS (0x for hexadecimal, else decimal; at most 0x7FFFFFFF).",
    "ADDRESS"};
const QCommandLineOption forceOption {{"f", "force"}, "Replace output files that exist."};
const QCommandLineOption jobsOption {
    {"j", "jobs"}, "Work on N threads at once (default: the number of cores).", "N"};
const QCommandLineOption quietOption {{"q", "quiet"}, "Print nothing but errors."};
const QCommandLineOption verboseOption {{"v", "verbose"}, "Say what was written for each ROM."};

QString addressError(const QString &text)
{
    const QString trimmed = text.trimmed();
    const bool hex = trimmed.startsWith(QLatin1String("0x"), Qt::CaseInsensitive);
    bool ok = false;
    const qulonglong value = (hex ? trimmed.mid(2) : trimmed).toULongLong(&ok, hex ? 16 : 10);
    if (ok && value > qulonglong(FileTable::maxAddress)) {
        return QStringLiteral("\"%1\" is out of range: the largest file table address is %2")
            .arg(text, FileTable::addressText(FileTable::maxAddress));
    }
    return QStringLiteral(
        "\"%1\" is not an address: use 0x and hexadecimal digits, or a decimal number")
        .arg(text);
}

// Fills in where the table is, from --game or --table. Returns a usage error or an empty string.
QString readTableChoice(const QCommandLineParser &parser, RomCommand::Settings &settings)
{
    if (parser.isSet(gameOption) && parser.isSet(tableOption))
        return QStringLiteral("--game and --table cannot be used together");
    if (parser.isSet(gameOption)) {
        QString error;
        const int preset = GamePresets::indexForName(parser.value(gameOption), &error);
        if (preset < 0)
            return error + QStringLiteral(" (see --list-games)");
        if (preset == 0)
            return QStringLiteral("\"Other\" has no file table address; use --table");
        settings.addressGiven = true;
        settings.address = GamePresets::at(preset).fileTableAddress;
    }
    if (parser.isSet(tableOption)) {
        const QString text = parser.value(tableOption);
        if (!FileTable::readAddressText(text, &settings.address))
            return addressError(text);
        settings.addressGiven = true;
    }
    return QString();
}

QString readOutputChoice(const QCommandLineParser &parser, RomCommand::Settings &settings)
{
    if (parser.isSet(outputOption) && parser.isSet(directoryOption))
        return QStringLiteral("-o and -d cannot be used together");
    settings.output = parser.value(outputOption);
    settings.directory = parser.value(directoryOption);
    // An unset shell variable must not send the output somewhere else.
    if (parser.isSet(outputOption) && settings.output.isEmpty())
        return QStringLiteral("-o needs a file name");
    if (parser.isSet(directoryOption) && settings.directory.isEmpty())
        return QStringLiteral("-d needs a folder");
    if (parser.isSet(outputOption) && settings.roms.size() != 1)
        return QStringLiteral("-o takes one ROM; use -d for several");
    if (settings.roms.count(standardStream) > 1)
        return QStringLiteral("standard input (-) can be read only once");
    if (settings.roms.contains(standardStream) && !parser.isSet(outputOption))
        return QStringLiteral("a ROM read from standard input (-) needs -o");
    settings.jobs = QThread::idealThreadCount();
    if (parser.isSet(jobsOption)) {
        bool ok = false;
        settings.jobs = parser.value(jobsOption).toInt(&ok);
        if (!ok || settings.jobs < 1)
            return QStringLiteral("-j takes a number of ROMs of at least 1");
    }
    return QString();
}

// ---------------------------------------------------------------------------------------------
// Before any work: outputs that would overwrite each other or an input

// The file a path names, links followed; "-" is standard input. Empty when nothing is there.
QByteArray fileIdentity(const QString &path)
{
    return path == standardStream ? OutputFileSystem::standardInputIdentity()
                                  : OutputFileSystem::identityOf(QFile::encodeName(path));
}

// Two ROMs written to one file would overwrite each other, and a ROM written over an input of
// the same run would be lost before it was read; -f allows neither.
void refuseOverlaps(QVector<Task> &tasks, const QStringList &otherInputs)
{
    QHash<QByteArray, QString> inputs; // identity -> the input as named
    for (const QString &input : otherInputs) {
        const QByteArray identity = fileIdentity(input);
        if (!identity.isEmpty())
            inputs.insert(identity, input);
    }
    for (const Task &task : tasks) {
        const QByteArray identity = fileIdentity(task.rom);
        if (!identity.isEmpty())
            inputs.insert(identity, task.rom);
    }
    QHash<QString, int> writers;
    for (Task &task : tasks) {
        if (task.output == standardStream)
            continue;
        const QByteArray identity = fileIdentity(task.output);
        if (inputs.contains(identity)) {
            task.failedPath = task.output;
            task.error
                = QStringLiteral("It is %1, an input of this run, which is never written over")
                      .arg(inputs.value(identity));
        }
        ++writers[identity.isEmpty() ? QFileInfo(task.output).absoluteFilePath()
                                     : QString::fromLatin1(identity)];
    }
    for (Task &task : tasks) {
        if (task.output == standardStream || !task.error.isEmpty())
            continue;
        const QByteArray identity = fileIdentity(task.output);
        if (writers.value(identity.isEmpty() ? QFileInfo(task.output).absoluteFilePath()
                                             : QString::fromLatin1(identity))
            > 1) {
            task.failedPath = task.rom;
            task.error = QStringLiteral("Another ROM of this run would be written to %1 too")
                             .arg(task.output);
        }
    }
}

// ---------------------------------------------------------------------------------------------
// One ROM

RomJob::Request requestFor(const RomCommand::Settings &settings, const Task &task)
{
    RomJob::Request request;
    request.romPath = task.rom;
    request.outputPath = task.output;
    request.romFromStandardInput = task.rom == standardStream;
    request.outputToStandardOutput = task.output == standardStream;
    request.replaceOutput = settings.force;
    request.addressGiven = settings.addressGiven;
    request.address = settings.address;
    request.checkFirstEntry = settings.checkFirstEntry;
    request.lastJobOfTheProcess = settings.processEndsAfter && settings.roms.size() == 1;
    return request;
}

} // namespace

QString RomCommand::withAdvice(const Settings &settings, const RomJob::Result &result) const
{
    const QString &error = result.refusal.text;
    switch (result.refusal.kind) {
    case Refusal::Kind::OutputExists:
        return error + QStringLiteral("; -f replaces it");
    case Refusal::Kind::NoTableFound:
        return error
            + QStringLiteral(": name the game with --game or the table's address with --table");
    case Refusal::Kind::FirstEntry:
        return error + QLatin1Char(' ') + firstEntryAdvice(settings.addressGiven);
    default:
        break;
    }
    return error;
}

RomCommand::RomCommand(const char *commandName, const char *commandSummary, const char *prefix)
    : Command(commandName, commandSummary), outputPrefix(prefix)
{ }

QList<QCommandLineOption> RomCommand::sharedOptions()
{
    return {outputOption, directoryOption, gameOption, tableOption, forceOption, jobsOption,
        quietOption, verboseOption};
}

QString RomCommand::readSettings(
    const QCommandLineParser &parser, const QStringList &roms, Settings &settings) const
{
    settings.roms = roms;
    settings.outputPrefix = outputPrefix;
    QString error = readTableChoice(parser, settings);
    if (error.isEmpty())
        error = readOutputChoice(parser, settings);
    settings.force = parser.isSet(forceOption);
    settings.quiet = parser.isSet(quietOption);
    settings.verbose = parser.isSet(verboseOption) && !settings.quiet;
    settings.processEndsAfter = true;
    return error;
}

QString RomCommand::outputPathFor(const Settings &settings, const QString &rom)
{
    if (!settings.output.isEmpty())
        return settings.output;
    const QFileInfo info(rom);
    const QString folder = settings.directory.isEmpty() ? info.path() : settings.directory;
    return QDir(folder).filePath(OutputNames::withPrefix(info.fileName(), settings.outputPrefix));
}

QString RomCommand::successLine(const RomJob::Request &request, const RomJob::Result &result) const
{
    const QString checksums = result.checksums.repaired
        ? QStringLiteral("checksums repaired for %1").arg(Checksum::chipName(result.checksums.chip))
        : QStringLiteral("checksums left alone: unknown boot chip");
    const QString known = result.knownDump.isEmpty()
        ? QString()
        : QStringLiteral(", table of the known dump %1").arg(result.knownDump);
    const QString codec = RomInfo::codecText(result.filesByCodec);
    return QStringLiteral("%1 -> %2: %3 files%4, %5%6")
        .arg(request.romPath, request.outputPath)
        .arg(result.files)
        .arg(known, checksums, codec.isEmpty() ? QString() : QStringLiteral(". ") + codec);
}

int RomCommand::runAll(const Settings &settings) const
{
    ProgressLine progress(!settings.quiet);
    const QString refusal = refusalBeforeAnyRom(settings);
    if (!refusal.isEmpty()) {
        progress.print(stderr, refusal);
        return Console::Failure;
    }
    QVector<Task> tasks;
    for (const QString &rom : settings.roms)
        tasks.append({rom, outputPathFor(settings, rom), QString(), QString()});
    for (Task &task : tasks) {
        if (Console::isUnreadableName(task.rom)) {
            task.failedPath = task.rom;
            task.error = Console::unreadableNameText();
        }
    }
    refuseOverlaps(tasks, settings.otherInputs);

    Tally tally;
    tally.total = tasks.size();
    QThreadPool pool;
    pool.setMaxThreadCount(romsAtOnce(settings));
    for (const Task &task : qAsConst(tasks)) {
        if (!task.error.isEmpty()) {
            tally.failed.fetchAndAddOrdered(1);
            tally.finished.fetchAndAddOrdered(1);
            progress.print(stderr, Console::errorLine(task.failedPath, task.error));
            continue;
        }
        pool.start([&, task] { runTask(settings, task, progress, tally); });
    }
    pool.waitForDone();
    if (tally.misused.loadAcquire() > 0)
        return Console::UsageError;
    return tally.failed.loadAcquire() == 0 ? Console::Success : Console::Failure;
}

QString RomCommand::refusalBeforeAnyRom(const Settings &settings)
{
    if (settings.output == standardStream && Terminal::isTerminal(Terminal::Stream::Output)) {
        return Console::errorLine(standardStream,
            QStringLiteral("Standard output is a terminal; redirect it, or name a file"));
    }
    // Like unzip -d, the folder is made when it is missing.
    if (!settings.directory.isEmpty() && !QFileInfo(settings.directory).exists()
        && !QDir().mkpath(settings.directory)) {
        return Console::errorLine(settings.directory, QStringLiteral("The folder cannot be made"));
    }
    return QString();
}

// Standard output that cannot be written is told as the other failed writes to it are.
QString RomCommand::failureLine(
    const Settings &settings, const RomJob::Request &request, const RomJob::Result &result) const
{
    if (result.refusal.kind == Refusal::Kind::Output && request.outputToStandardOutput)
        return Console::writeErrorLine(result.refusal.text);
    return Console::errorLine(result.failedPath, withAdvice(settings, result));
}

// One ROM, on a thread of the batch: its job, then what it did or why not.
void RomCommand::runTask(
    const Settings &settings, const Task &task, ProgressLine &progress, Tally &tally) const
{
    const RomJob::Request request = requestFor(settings, task);
    const QString romName = QFileInfo(task.rom).fileName();
    const auto show = [&](const QString &what, bool now) {
        progress.show(QStringLiteral("[%1/%2 ROMs] %3: %4")
                          .arg(tally.finished.loadAcquire())
                          .arg(tally.total)
                          .arg(romName, what),
            now);
    };
    RomJob::Result result;
    // One ROM that does not fit in memory must not take the others with it.
    try {
        result = runJob(settings, request, show);
    } catch (const std::bad_alloc &) {
        result.failedPath = request.romPath;
        result.refusal
            = Refusal::of(Refusal::Kind::Unreadable, QStringLiteral("not enough memory"));
    }
    tally.finished.fetchAndAddOrdered(1);
    if (!result.ok()) {
        tally.failed.fetchAndAddOrdered(1);
        if (result.refusal.kind == Refusal::Kind::Ranges)
            tally.misused.fetchAndAddOrdered(1);
        progress.print(stderr, failureLine(settings, request, result));
        return;
    }
    if (!settings.quiet) {
        for (const QString &warning : result.warnings)
            progress.print(stderr, Console::warningLine(task.rom, warning));
    }
    std::FILE *const factStream = settings.output == standardStream ? stderr : stdout;
    if (settings.verbose)
        progress.print(factStream, successLine(request, result));
    // The proof a way back looks for is told unless asked for silence.
    if (!settings.quiet && !result.identicalDump.isEmpty()) {
        progress.print(factStream,
            QStringLiteral("%1: %2").arg(
                request.outputPath, RomJob::identicalDumpText(result.identicalDump)));
    }
}
