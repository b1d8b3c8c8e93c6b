#ifndef PASSPLAN_H
#define PASSPLAN_H

#include "decompressionpass.h"
#include "filetable.h"
#include "knowndumps.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QVector>

#include <functional>

// Everything decided before a decompression pass starts: where the table is, whether it looks
// like one, the file list, and whether the pass over it could finish.
namespace PassPlan {

// Shown when the table does not start with the expected first entry; the window asks whether to
// go on, the command line refuses unless told not to check.
extern const char firstEntryWarning[];

enum class TableRefusal {
    None,
    NoTableFound, // no build string, and the ROM is no known dump
    FirstEntry, // the table does not start with the expected entry
    Outside, // the address lies past the end of the ROM
    Files, // the table's files cannot be laid out (or, for the way back, taken in)
};

struct Plan
{
    qint32 address = 0;
    QVector<FileRecord> files;
    DecompressionPass::Codec codec = DecompressionPass::Codec::Yaz0;
    QString refusal; // why the pass must not start; empty when it may
    QStringList warnings; // what the pass may do, but the user should know
    TableRefusal refusalKind = TableRefusal::None;
    QString knownDump; // the name of the known dump whose table address was used, if one was
    bool addressNeeded = false; // the build string alone would not have found the table
    bool ok() const { return refusal.isEmpty(); }
};

// Where to look for the table: at a given address (a preset or one typed), or by the build string.
struct TableChoice
{
    bool addressGiven = false;
    qint32 address = 0;
    bool checkFirstEntry = true; // refuse a table that does not start with the expected entry

    static TableChoice at(qint32 address, bool checkFirstEntry)
    {
        return TableChoice {true, address, checkFirstEntry};
    }
};

struct TableSearch
{
    qint32 address = 0;
    QString knownDump; // the name of the known dump whose table address was used, if one was
    bool addressNeeded = false; // the build string alone would not have found a table
    TableRefusal refusal = TableRefusal::None;
    QString error;
    bool ok() const { return refusal == TableRefusal::None; }
};

// Returns the known dump the ROM is, or null; asked only when the build string is not to be
// trusted, so that a plain ROM does not pay for hashing.
using KnownDumpLookup = std::function<const KnownDumps::Dump *()>;

// Finds the table as the choice says: the given address, the build string's when a table starts
// there as expected, or else a known dump's.
TableSearch findTable(
    const QByteArray &rom, const TableChoice &choice, const KnownDumpLookup &knownDump);

// The first-entry warning as a statement, for a front end that refuses instead of asking.
QString firstEntryRefusal();

// Why no table can stand at address (it lies past the end of the ROM), or an empty string.
QString addressProblem(const QByteArray &rom, qint32 address);

// How the ROM's compressed files are stored: DEFLATE when the known dump says so, or when the
// first compressed file is no Yaz0 file and inflates cleanly to exactly its range; Yaz0 otherwise.
DecompressionPass::Codec codecFor(const QByteArray &rom, const QVector<FileRecord> &files,
    const KnownDumps::Dump *knownDump = nullptr);

// Whether the files have any compressed file at all.
bool hasCompressedFiles(const QVector<FileRecord> &files);

// Why a pass over files (read from the table at address) with the codec chosen (see codecFor)
// must not start, or an empty string: a list with no files (the pass would never report back),
// one longer than any game's, one with an entry that could crash the pass or grow the image
// without bound, or a DEFLATE file that does not decode whole to its range (each is decoded once
// to see).
QString refusal(const QByteArray &rom, qint64 outputSize, qint32 address,
    const QVector<FileRecord> &files, DecompressionPass::Codec codec);

// What is wrong with one entry that would make a pass over it unsafe ("Entry 3 of the file table
// at 0x00007430 (...) holds a negative address"), or an empty string. The pass's refusals add
// that nothing was decompressed.
QString entryFault(
    const QByteArray &rom, qint32 address, const FileRecord &file, DecompressionPass::Codec codec);

// What is odd about a table that may be decompressed: files whose stored bytes lie past the end
// of the ROM (a ROM cut short: the pass reads zeros there), and no compressed file at all.
QStringList warnings(const QByteArray &rom, const QVector<FileRecord> &files);

// What the Yaz0 files cut short are told as: each named with how much of it is missing, the
// first few, then how many more.
QStringList cutShortWarnings(
    const QVector<DecompressionPass::CutShortFile> &cutShort, qint32 tableAddress);

// "This ROM is already decompressed"
QString alreadyDecompressedText();

} // namespace PassPlan

#endif // PASSPLAN_H
