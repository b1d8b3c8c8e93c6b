#ifndef INFOCOMMAND_H
#define INFOCOMMAND_H

#include "command.h"

// tidepool-cli info: what each ROM is, as text or as a JSON array with one object per ROM.
class InfoCommand : public Command
{
public:
    InfoCommand();

    QList<QCommandLineOption> options() const override;

protected:
    // Returns 0 when every ROM could be read, 1 otherwise.
    int run(const QCommandLineParser &parser, const QStringList &roms) const override;
};

#endif // INFOCOMMAND_H
