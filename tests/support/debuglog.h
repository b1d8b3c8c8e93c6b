#ifndef DEBUGLOG_H
#define DEBUGLOG_H

#include <QStringList>
#include <QtGlobal>

#include <mutex>

// Collects the program's debug lines, from any thread, while it is alive.
class DebugLog
{
public:
    DebugLog();
    ~DebugLog();

    QStringList lines() const;
    int count(const QString &start) const; // lines that begin with start

private:
    static void handler(QtMsgType type, const QMessageLogContext &context, const QString &text);
    static DebugLog *current;
    // A standard mutex, which ThreadSanitizer sees (Qt's own library is not instrumented).
    static std::mutex mutex;
    QStringList collected;
    QtMessageHandler previous;
};

#endif // DEBUGLOG_H
