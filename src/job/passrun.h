#ifndef PASSRUN_H
#define PASSRUN_H

#include "filetable.h"

#include <QByteArray>
#include <QVector>

#include <functional>

// The decompression pass over a planned file list: each file in table order is laid into the
// output image (see DecompressionPass::placeFile).
namespace PassRun {

struct Observer
{
    // Called before file number index; returning false stops the pass there.
    std::function<bool(int index)> beforeFile;
    // Called after each file with the number of files done and the number in the list.
    std::function<void(int done, int count)> afterFile;
};

// Returns true when every file was laid, false when beforeFile stopped the pass.
bool run(const QByteArray &rom, QByteArray &output, qint32 tableAddress,
    const QVector<FileRecord> &files, const Observer &observer = {});

} // namespace PassRun

#endif // PASSRUN_H
