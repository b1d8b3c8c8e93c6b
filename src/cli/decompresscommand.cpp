#include "decompresscommand.h"

#include "console.h"
#include "outputnames.h"

#include <QCommandLineParser>

namespace {

const QCommandLineOption noTableCheckOption {
    "no-table-check", "Go on even if the table does not start with the expected entry."};

} // namespace

DecompressCommand::DecompressCommand()
    : RomCommand(
        "decompress", "Write a decompressed copy of each ROM.", OutputNames::decompressedPrefix)
{ }

QList<QCommandLineOption> DecompressCommand::options() const
{
    return sharedOptions() << noTableCheckOption;
}

int DecompressCommand::run(const Settings &settings)
{
    return DecompressCommand().runAll(settings);
}

int DecompressCommand::run(const QCommandLineParser &parser, const QStringList &roms) const
{
    Settings settings;
    const QString error = readSettings(parser, roms, settings);
    if (!error.isEmpty())
        return Console::usageError(error, name);
    settings.checkFirstEntry = !parser.isSet(noTableCheckOption);
    return runAll(settings);
}

RomJob::Result DecompressCommand::runJob(
    const Settings &, const RomJob::Request &request, const Progress &progress) const
{
    DecompressionJob::Observer observer;
    observer.afterFile = [&progress](int done, int count) {
        if (done == count)
            progress(QStringLiteral("writing"), true);
        else
            progress(QStringLiteral("%1/%2 files").arg(done).arg(count), false);
    };
    return RomJob::decompressFile(request, observer);
}

QString DecompressCommand::firstEntryAdvice(bool addressGiven) const
{
    if (addressGiven)
        return QStringLiteral("Check the address given with --game or --table, or go on with "
                              "--no-table-check.");
    return QStringLiteral("The build string leads to this address: give the table's address with "
                          "--game or --table, or go on with --no-table-check.");
}
