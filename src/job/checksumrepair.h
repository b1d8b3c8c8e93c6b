#ifndef CHECKSUMREPAIR_H
#define CHECKSUMREPAIR_H

#include "imagebuffer.h"

#include <QByteArray>
#include <QtGlobal>

// The two header checksum words of an image: which boot chip its boot code is for, what the
// header holds and what the words should be.
namespace HeaderChecksums {

struct Report
{
    int chip = 0; // 6101, 6102, 6103, 6105, 6106, or 0 for a boot code of none of them
    bool known = false; // the chip's seed is known, so the words could be computed
    quint32 stored[2] = {0, 0};
    quint32 computed[2] = {0, 0}; // 0 unless known
    bool repaired = false; // computed was written into the image

    bool good(int word) const { return known && stored[word] == computed[word]; }
};

Report inspect(const QByteArray &image);

// Writes the computed words into the image when the chip is known; leaves it alone otherwise.
// The report's stored words are those found before the repair.
Report repair(QByteArray &image);
Report repair(ImageBuffer &image);

} // namespace HeaderChecksums

#endif // CHECKSUMREPAIR_H
