#ifndef GAMEPRESETS_H
#define GAMEPRESETS_H

#include <QByteArray>
#include <QString>
#include <QtGlobal>

// The game versions whose file table address is known, in the order the window's game list shows
// them, with separators between the families.
namespace GamePresets {

struct Preset
{
    const char *name; // nullptr: a separator
    qint32 fileTableAddress;
};

// Entry 0 is "Other" with address 0: no preset.
int count();
const Preset &at(int index);
QString nameAt(int index);

// The first preset after "Other" with this address, or 0 for "Other" when none has it.
int indexForAddress(qint32 address);

// A preset by name for the command line: case-insensitive, and a prefix that only one preset
// name starts with is enough. Returns the index, or -1 with the reason in error.
int indexForName(const QString &name, QString *error);

// What the build string inside the ROM says about it.
struct Detection
{
    bool found = false; // a build string was found
    qint32 address = 0; // the file table address it gives
    qint32 buildStringAt = 0; // where the build string starts
    int preset = 0; // the preset with that address, or 0 for "Other"
};

Detection detect(const QByteArray &image);

} // namespace GamePresets

#endif // GAMEPRESETS_H
