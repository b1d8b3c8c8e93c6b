#ifndef REFERENCEPASS_H
#define REFERENCEPASS_H

#include "filetable.h"

#include <QByteArray>
#include <QVector>

// The decompression pass written out plainly from its rules, each file spliced into the image the
// moment it is placed (every later byte moved at once), with none of the program's shortcuts: no
// decoding in place, no gap. The program's pass must give the same bytes; Yaz0 files are decoded
// with the program's decoder, which has tests of its own.
QByteArray referencePass(
    const QByteArray &rom, QByteArray image, qint32 tableAddress, const QVector<FileRecord> &files);

#endif // REFERENCEPASS_H
