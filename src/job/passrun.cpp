#include "passrun.h"

#include "decompressionpass.h"

namespace PassRun {

bool run(const QByteArray &rom, QByteArray &output, qint32 tableAddress,
    const QVector<FileRecord> &files, const Observer &observer)
{
    const int count = files.size();
    for (int i = 0; i < count; ++i) {
        if (observer.beforeFile && !observer.beforeFile(i))
            return false;
        DecompressionPass::placeFile(rom, output, tableAddress, files.at(i));
        if (observer.afterFile)
            observer.afterFile(i + 1, count);
    }
    return true;
}

} // namespace PassRun
