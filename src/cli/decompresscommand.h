#ifndef DECOMPRESSCOMMAND_H
#define DECOMPRESSCOMMAND_H

#include "command.h"

#include <QString>
#include <QStringList>

// tidepool-cli decompress: the whole job on each ROM, several at once. One ROM that fails does
// not stop the others.
class DecompressCommand : public Command
{
public:
    DecompressCommand();

    QList<QCommandLineOption> options() const override;

    struct Settings
    {
        QStringList roms; // "-" is standard input
        QString output; // one ROM's output file ("-": standard output), or empty
        QString directory; // the folder for every output, or empty: beside each ROM
        bool addressGiven = false; // otherwise each ROM's build string gives it
        qint32 address = 0;
        bool checkFirstEntry = true;
        bool force = false;
        int jobs = 1;
        bool quiet = false;
        bool verbose = false;
        bool processEndsAfter = false; // memory may be left to the system at the end
    };

    // Returns 0 when every ROM was written, 1 when any failed.
    static int run(const Settings &settings);

    // Where the decompressed copy of rom goes.
    static QString outputPathFor(const Settings &settings, const QString &rom);

protected:
    int run(const QCommandLineParser &parser, const QStringList &roms) const override;
};

#endif // DECOMPRESSCOMMAND_H
