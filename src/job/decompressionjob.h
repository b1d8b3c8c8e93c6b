#ifndef DECOMPRESSIONJOB_H
#define DECOMPRESSIONJOB_H

#include "checksumrepair.h"
#include "imagebuffer.h"
#include "romplan.h"

#include <QByteArray>

#include <functional>

// The decompression of a ROM held in memory, one and the same for every front end: after the plan
// (RomPlan::prepare), the pass lays each file in table order into the image (see
// DecompressionPass::placeFile), then the header checksums are repaired. The command line, the
// benchmarks and the fuzzers run it whole; the window's worker thread runs the pass, with its
// pauses and reports, and the window repairs the checksums as it saves.
namespace DecompressionJob {

struct Observer
{
    // Called before file number index; returning false stops the pass there.
    std::function<bool(int index)> beforeFile;
    // Called after each file with the number of files done and the number in the list.
    std::function<void(int done, int count)> afterFile;
};

// Returns true when every file was laid, false when beforeFile stopped the pass. The Yaz0 files
// whose data ran out before their declared sizes are added to cutShort when it is given.
bool runPass(const QByteArray &rom, ImageBuffer &image, const RomPlan::Plan &plan,
    const Observer &observer = {}, QVector<DecompressionPass::CutShortFile> *cutShort = nullptr);

struct Outcome
{
    bool finished = false; // every file was laid; otherwise the observer stopped the pass
    HeaderChecksums::Report checksums; // the repair, once the pass finished
    QVector<DecompressionPass::CutShortFile> cutShort; // found while decoding
};

// The pass, then the checksum repair.
Outcome run(const QByteArray &rom, ImageBuffer &image, const RomPlan::Plan &plan,
    const Observer &observer = {});

} // namespace DecompressionJob

#endif // DECOMPRESSIONJOB_H
