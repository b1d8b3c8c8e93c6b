#include "decompressionjob.h"

#include "decompressionpass.h"

namespace DecompressionJob {

bool runPass(
    const QByteArray &rom, ImageBuffer &image, const PassPlan::Plan &plan, const Observer &observer)
{
    const int count = plan.files.size();
    for (int i = 0; i < count; ++i) {
        if (observer.beforeFile && !observer.beforeFile(i))
            return false;
        DecompressionPass::placeFile(rom, image, plan.address, plan.files.at(i), plan.codec);
        if (observer.afterFile)
            observer.afterFile(i + 1, count);
    }
    return true;
}

Outcome run(
    const QByteArray &rom, ImageBuffer &image, const PassPlan::Plan &plan, const Observer &observer)
{
    Outcome outcome;
    outcome.finished = runPass(rom, image, plan, observer);
    if (outcome.finished)
        outcome.checksums = HeaderChecksums::repair(image);
    return outcome;
}

} // namespace DecompressionJob
