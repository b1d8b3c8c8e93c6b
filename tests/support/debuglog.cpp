#include "debuglog.h"

DebugLog *DebugLog::current = nullptr;
// Guards current and what it collects: the handler runs on whichever thread writes a line, and a
// worker thread may still be writing while a log is made or goes away.
std::mutex DebugLog::mutex;

DebugLog::DebugLog()
{
    const std::lock_guard<std::mutex> locker(mutex);
    current = this;
    previous = qInstallMessageHandler(&DebugLog::handler);
}

DebugLog::~DebugLog()
{
    const std::lock_guard<std::mutex> locker(mutex);
    qInstallMessageHandler(previous);
    current = nullptr;
}

// A list that shares its data with the one the handler appends to would be detached on the
// reader's thread while the handler grows it; the copy is made element by element instead.
QStringList DebugLog::lines() const
{
    const std::lock_guard<std::mutex> locker(mutex);
    QStringList copy;
    copy.reserve(collected.size());
    for (const QString &line : collected)
        copy.append(line);
    return copy;
}

int DebugLog::count(const QString &start) const
{
    const std::lock_guard<std::mutex> locker(mutex);
    int n = 0;
    for (const QString &line : collected)
        n += line.startsWith(start);
    return n;
}

void DebugLog::handler(QtMsgType type, const QMessageLogContext &context, const QString &text)
{
    std::unique_lock<std::mutex> locker(mutex);
    if (type == QtDebugMsg && current) {
        current->collected.append(text);
        return;
    }
    const QtMessageHandler next = current ? current->previous : nullptr;
    locker.unlock();
    if (next)
        next(type, context, text);
}
