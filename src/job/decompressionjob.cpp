#include "decompressionjob.h"

#include "decompressionpass.h"

namespace DecompressionJob {

bool runPass(const QByteArray &rom, ImageBuffer &image, const RomPlan::Plan &plan,
    const Observer &observer, QVector<DecompressionPass::CutShortFile> *cutShort)
{
    // One image through the whole pass, so that files that come out shorter or longer than their
    // ranges move the bytes after them once, not once each; it is whole again when this returns.
    DecompressionPass::PassImage output(image);
    const int count = plan.files.size();
    for (int i = 0; i < count; ++i) {
        if (observer.beforeFile && !observer.beforeFile(i))
            return false;
        const qint64 missing = DecompressionPass::placeFile(
            rom, output, plan.address, plan.files.at(i), plan.codecs.of(i));
        if (missing > 0 && cutShort)
            cutShort->append({plan.files.at(i).index, missing});
        if (observer.afterFile)
            observer.afterFile(i + 1, count);
    }
    return true;
}

Outcome run(
    const QByteArray &rom, ImageBuffer &image, const RomPlan::Plan &plan, const Observer &observer)
{
    Outcome outcome;
    outcome.finished = runPass(rom, image, plan, observer, &outcome.cutShort);
    if (outcome.finished)
        outcome.checksums = HeaderChecksums::repair(image);
    return outcome;
}

} // namespace DecompressionJob
