#include "compressionlayout.h"

#include "decompressionpass.h"

#include <algorithm>
#include <map>

namespace CompressionLayout {

namespace {

qint64 roundUpToGranule(qint64 bytes)
{
    return std::max<qint64>(sizeGranule, (bytes + sizeGranule - 1) / sizeGranule * sizeGranule);
}

// What an entry takes up in the original, or -1 when the original has no bytes for it there.
qint64 originalRoom(const QByteArray &original, const QVector<FileRecord> &originalFiles, int index)
{
    if (index >= originalFiles.size())
        return -1;
    const FileRecord &file = originalFiles.at(index);
    if (file.physicalEnd == FileTable::absentFile
        || !DecompressionPass::storedInside(original, file))
        return -1;
    if (FileTable::isCompressed(file))
        return qint64(file.physicalEnd) - file.physicalStart;
    return Piece::align(qint64(file.virtualEnd) - file.virtualStart);
}

// The byte ranges files were placed at, by start.
class PlacedRanges
{
public:
    bool overlaps(qint64 start, qint64 end) const
    {
        if (start == end)
            return false;
        auto next = ranges.lower_bound(start);
        if (next != ranges.end() && next->first < end)
            return true;
        if (next == ranges.begin())
            return false;
        return std::prev(next)->second > start;
    }
    void add(qint64 start, qint64 end)
    {
        if (start < end)
            ranges.emplace(start, end);
    }

private:
    // Ranges never overlap, so one start holds one range; empty files take no range.
    std::map<qint64, qint64> ranges;
};

} // namespace

Extent placeLikeOriginal(QVector<Piece> &pieces, const QByteArray &original,
    const QVector<FileRecord> &originalFiles, int tablePiece, int *moved)
{
    qint64 lastUsed = 0;
    for (int i = 0; i < originalFiles.size(); ++i) {
        const qint64 room = originalRoom(original, originalFiles, i);
        if (room >= 0)
            lastUsed = std::max(lastUsed, qint64(originalFiles.at(i).physicalStart) + room);
    }
    QVector<int> order;
    if (tablePiece >= 0 && tablePiece < pieces.size())
        order << tablePiece;
    for (int i = 0; i < pieces.size(); ++i) {
        if (i != tablePiece)
            order << i;
    }
    PlacedRanges placed;
    QVector<int> movers;
    for (const int i : qAsConst(order)) {
        Piece &piece = pieces[i];
        if (piece.storage == Storage::Absent)
            continue;
        const qint64 room = originalRoom(original, originalFiles, i);
        const qint64 start = room >= 0 ? originalFiles.at(i).physicalStart : 0;
        const bool fits = room >= 0 && (piece.room() <= room || i == tablePiece);
        if (fits && !placed.overlaps(start, start + piece.length)) {
            piece.place = start;
            placed.add(start, start + piece.length);
            lastUsed = std::max(lastUsed, piece.place + piece.room());
        } else {
            movers << i;
        }
    }
    std::sort(movers.begin(), movers.end());
    qint64 cursor = Piece::align(lastUsed);
    for (const int i : qAsConst(movers)) {
        pieces[i].place = cursor;
        cursor = Piece::align(cursor + pieces[i].room());
    }
    *moved = movers.size();
    const qint64 needed = std::max(lastUsed, cursor);
    const bool originalSizeWillDo = needed <= original.size() && original.size() % 4 == 0;
    return {needed,
        originalSizeWillDo ? original.size()
                           : roundUpToGranule(std::max(needed, qint64(original.size())))};
}

Extent placePacked(QVector<Piece> &pieces, int tablePiece, const FileRecord &tableFile)
{
    Piece &table = pieces[tablePiece];
    table.place = tableFile.virtualStart;
    const qint64 tableEnd = table.place + table.length;
    qint64 cursor = 0;
    qint64 used = tableEnd;
    for (int i = 0; i < pieces.size(); ++i) {
        Piece &piece = pieces[i];
        if (piece.storage == Storage::Absent || i == tablePiece)
            continue;
        piece.place = Piece::align(cursor);
        if (piece.place < tableEnd && piece.place + piece.length > table.place)
            piece.place = Piece::align(tableEnd);
        cursor = piece.place + piece.length;
        used = std::max(used, cursor);
    }
    return {used, roundUpToGranule(used)};
}

} // namespace CompressionLayout
