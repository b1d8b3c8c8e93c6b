#include "decompresscommand.h"

#include "checksum.h"
#include "commandline.h"
#include "outputfile.h"
#include "progressline.h"
#include "rominfo.h"
#include "romjob.h"

#include <QAtomicInt>
#include <QDir>
#include <QFileInfo>
#include <QSet>
#include <QThreadPool>

#include <memory>

namespace DecompressCommand {

namespace {

RomJob::Request requestFor(const Settings &settings, const QString &rom)
{
    RomJob::Request request;
    request.romPath = rom;
    request.outputPath = outputPathFor(settings, rom);
    request.replaceOutput = settings.force;
    request.addressGiven = settings.addressGiven;
    request.address = settings.address;
    request.checkFirstEntry = settings.checkFirstEntry;
    return request;
}

QString successLine(const RomJob::Request &request, const RomJob::Result &result)
{
    const QString checksums = result.checksums.repaired
        ? QStringLiteral("checksums repaired for %1").arg(Checksum::chipName(result.checksums.chip))
        : QStringLiteral("checksums left alone: unknown boot chip");
    const QString known = result.knownDump.isEmpty()
        ? QString()
        : QStringLiteral(", table of the known dump %1").arg(result.knownDump);
    return QStringLiteral("%1 -> %2: %3 files%4, %5")
        .arg(request.romPath, request.outputPath)
        .arg(result.files)
        .arg(known, checksums);
}

// Two ROMs of the same name written into one folder would overwrite each other.
QString sharedOutput(const Settings &settings)
{
    QSet<QString> seen;
    for (const QString &rom : settings.roms) {
        const QString output = QFileInfo(outputPathFor(settings, rom)).absoluteFilePath();
        if (seen.contains(output))
            return output;
        seen.insert(output);
    }
    return QString();
}

} // namespace

QString outputPathFor(const Settings &settings, const QString &rom)
{
    if (!settings.output.isEmpty())
        return settings.output;
    const QFileInfo info(rom);
    const QString folder = settings.directory.isEmpty() ? info.path() : settings.directory;
    return QDir(folder).filePath(OutputFile::defaultName(info.fileName()));
}

int run(const Settings &settings)
{
    ProgressLine progress(!settings.quiet);
    const QString shared = sharedOutput(settings);
    if (!shared.isEmpty()) {
        progress.print(stderr,
            CommandLine::errorLine(
                shared, QStringLiteral("Two of the ROMs would be written here")));
        return CommandLine::Failure;
    }

    const int total = settings.roms.size();
    QAtomicInt finished = 0;
    QAtomicInt failed = 0;
    QThreadPool pool;
    pool.setMaxThreadCount(settings.jobs);
    for (const QString &rom : settings.roms) {
        pool.start([&, rom] {
            const RomJob::Request request = requestFor(settings, rom);
            const QString name = QFileInfo(rom).fileName();
            PassRun::Observer observer;
            observer.afterFile = [&](int done, int count) {
                progress.show(QStringLiteral("[%1/%2 ROMs] %3: %4/%5 files")
                                  .arg(finished.loadAcquire())
                                  .arg(total)
                                  .arg(name)
                                  .arg(done)
                                  .arg(count));
            };
            const RomJob::Result result = RomJob::decompressFile(request, observer);
            finished.fetchAndAddOrdered(1);
            if (!result.ok()) {
                failed.fetchAndAddOrdered(1);
                progress.print(stderr, CommandLine::errorLine(result.failedPath, result.error));
                return;
            }
            // Decompressing it again does no harm, but the user may have picked the wrong file.
            if (result.alreadyDecompressed && !settings.quiet)
                progress.print(
                    stderr, CommandLine::errorLine(rom, RomInfo::alreadyDecompressedText()));
            if (settings.verbose)
                progress.print(stdout, successLine(request, result));
        });
    }
    pool.waitForDone();
    return failed.loadAcquire() == 0 ? CommandLine::Success : CommandLine::Failure;
}

} // namespace DecompressCommand
