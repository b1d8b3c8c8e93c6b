#ifndef PLANCASES_H
#define PLANCASES_H

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QVector>

#include "codec.h"

// ROMs on which each decision of a ROM's plan is made, with what must be decided: where the
// table is, how its files are stored, whether and how the job is refused, what the user is
// warned of. The plan's own test runs them through the core step; the info and window tests run
// the same ROMs through their front ends, which must tell the same.
namespace PlanCases {

enum class Refusal { None, NoTableFound, FirstEntry, Files };

struct Case
{
    QString name;
    QByteArray rom; // big endian
    bool addressGiven = false; // the table's address is given, as the window's field gives it
    qint32 address = 0;
    // A known dump made for the case (the program's own list cannot hold test ROMs): its MD5, or
    // empty when there is none; front ends that use the built-in list skip such cases.
    QByteArray knownDumpMd5;
    qint32 knownDumpAddress = 0;

    qint32 tableAddress = 0; // where the table is found (when it is)
    bool knownDumpUsed = false; // the known dump's address was taken
    // How info --json names its files' codec: "yaz0", "deflate", "lzo"..., "mixed" for several,
    // empty for none (no table found, no compressed file).
    QString codec = QStringLiteral("yaz0");
    Refusal refusal = Refusal::None;
    QString refusalText; // a part of the refusal's text, when it is checked
    QStringList warnings; // a part of each warning, in order
};

// Built once, on first use.
const QVector<Case> &all();

// A data table of one column, "index" (into all()), with a row for each case a front end can be
// given as a user gives it: its address searched for, and the program's own list of dumps.
void addFrontEndRows();

// The way back's decisions: a ROM to compress, the original to lay it out like (or the ranges to
// compress, packed), and the one refusal expected, if any.
struct CompressionCase
{
    QString name;
    QByteArray rom; // big endian
    QByteArray original; // big endian; empty: packed
    QString ranges; // packed: as the command line takes them ("1-3,5-END")
    QString codec; // the codec asked for, as the command line names it, or empty
    int megabytes = 0; // the size asked for, or 0
    bool identical = false; // the result is the original, byte for byte
    bool refused = false;
    bool aboutOriginal = false; // the refusal names the original
    QString reason; // a part of the refusal's text that does not name the input
};

const QVector<CompressionCase> &compressionCases();

// A data table of one column, "index" (into compressionCases()); withPacked false leaves out the
// cases the window does not make: packed, or with a codec or size asked for.
void addCompressionRows(bool withPacked = true);

} // namespace PlanCases

#endif // PLANCASES_H
