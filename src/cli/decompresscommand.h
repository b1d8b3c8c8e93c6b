#ifndef DECOMPRESSCOMMAND_H
#define DECOMPRESSCOMMAND_H

#include "romcommand.h"

// tidepool-cli decompress: the whole job on each ROM, several at once.
class DecompressCommand : public RomCommand
{
public:
    DecompressCommand();

    QList<QCommandLineOption> options() const override;

    // Returns 0 when every ROM was written, 1 when any failed.
    static int run(const Settings &settings);

protected:
    int run(const QCommandLineParser &parser, const QStringList &roms) const override;
    RomJob::Result runJob(const Settings &settings, const RomJob::Request &request,
        const Progress &progress) const override;
    QString firstEntryAdvice(bool addressGiven) const override;
};

#endif // DECOMPRESSCOMMAND_H
