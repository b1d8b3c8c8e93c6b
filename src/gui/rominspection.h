#ifndef ROMINSPECTION_H
#define ROMINSPECTION_H

#include "byteorder.h"
#include "knowndumps.h"
#include "rominfo.h"
#include "romplan.h"

#include <QFutureWatcher>
#include <QObject>

// What the loaded ROM is, found on a pool thread: hashing a whole ROM takes a while, and the
// window must never freeze. The worker is not used: its requests belong to the loading and
// decompressing jobs.
class RomInspection : public QObject
{
    Q_OBJECT

public:
    explicit RomInspection(QObject *parent = nullptr);
    ~RomInspection() override; // waits for an inspection still running

    void useKnownDumps(KnownDumps::Table table) { knownDumps = table; }

    // Looks at rom (big endian, come in the given order); inspected follows.
    void start(const QByteArray &rom, ByteOrder cameIn);
    // The file was refused: what was being found out no longer applies.
    void forget();

    // The known dump rom is, once the inspection has hashed it; until then a lookup that hashes
    // it only if a decision needs to know. rom must outlive the lookup.
    RomPlan::KnownDumpLookup knownDumpLookup(const QByteArray &rom) const;

signals:
    void inspected(const RomInfo::Facts &facts);

private:
    QFutureWatcher<RomInfo::Facts> watcher;
    KnownDumps::Table knownDumps = KnownDumps::builtInTable();
};

#endif // ROMINSPECTION_H
