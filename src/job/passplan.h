#ifndef PASSPLAN_H
#define PASSPLAN_H

#include "filetable.h"

#include <QByteArray>
#include <QString>
#include <QVector>

// Everything decided before a decompression pass starts: where the table is, whether it looks
// like one, the file list, and whether the pass over it could finish.
namespace PassPlan {

// Shown when the table does not start with the expected first entry; the window asks whether to
// go on, the command line refuses unless told not to check.
extern const char firstEntryWarning[];

struct Plan
{
    qint32 address = 0;
    QVector<FileRecord> files;
    QString refusal; // why the pass must not start; empty when it may
};

// Reads the table at address and checks it for an image of outputSize bytes.
Plan make(const QByteArray &rom, qint64 outputSize, qint32 address);

// Why a pass over files (read from the table at address) must not start, or an empty string:
// a list with no files (the pass would never report back), one longer than any game's, or one
// with an entry that could crash the pass or grow the image without bound.
QString refusal(
    const QByteArray &rom, qint64 outputSize, qint32 address, const QVector<FileRecord> &files);

} // namespace PassPlan

#endif // PASSPLAN_H
