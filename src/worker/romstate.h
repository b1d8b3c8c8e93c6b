#ifndef ROMSTATE_H
#define ROMSTATE_H

#include "filetable.h"
#include "romplan.h"

#include <QByteArray>
#include <QString>
#include <QVector>

// The loaded ROM and what the jobs made of it. The window owns it; the worker reads and writes it
// through a pointer while a job runs, and the window keeps out of it until the job's completion
// signal arrives, so it needs no lock.
struct RomState
{
    QString fileName; // the loaded file's name without its folder
    QString gameCode; // from the ROM header, for the debug output
    QByteArray romImage; // the whole file; big endian once loading is complete
    QByteArray outputImage; // the decompressed image being built
    QVector<FileRecord> files; // the file table, in table order
    qint32 fileTableAddress = 0;
    // What was decided about the table read into files (its codec, refusal and warnings; see
    // RomPlan::prepare). The pass walks files at fileTableAddress as its plan says.
    RomPlan::Plan plan;
    QString outputFileName; // where the decompressed image is saved
};

#endif // ROMSTATE_H
