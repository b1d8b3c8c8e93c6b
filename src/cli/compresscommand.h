#ifndef COMPRESSCOMMAND_H
#define COMPRESSCOMMAND_H

#include "compressionjob.h"
#include "romcommand.h"

// tidepool-cli compress: each decompressed ROM made compressed again, laid out like the original
// compressed ROM (--like) or packed with the files named compressed (--files). The ROMs are done
// one at a time; the files of each are encoded on all threads.
class CompressCommand : public RomCommand
{
public:
    CompressCommand();

    QList<QCommandLineOption> options() const override;

    // "10-941,1000-END": table indices, ranges with both ends included. False for other text.
    static bool readRanges(const QString &text, QVector<RomPlan::IndexRange> *ranges);

protected:
    int run(const QCommandLineParser &parser, const QStringList &roms) const override;
    RomJob::Result runJob(const Settings &settings, const RomJob::Request &request,
        const Progress &progress) const override;
    int romsAtOnce(const Settings &) const override { return 1; }
    QString successLine(
        const RomJob::Request &request, const RomJob::Result &result) const override;
    QString firstEntryAdvice(bool addressGiven) const override;
};

#endif // COMPRESSCOMMAND_H
