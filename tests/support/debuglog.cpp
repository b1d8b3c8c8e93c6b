#include "debuglog.h"

DebugLog *DebugLog::current = nullptr;

DebugLog::DebugLog()
{
    current = this;
    previous = qInstallMessageHandler(&DebugLog::handler);
}

DebugLog::~DebugLog()
{
    qInstallMessageHandler(previous);
    current = nullptr;
}

QStringList DebugLog::lines() const
{
    QMutexLocker locker(&mutex);
    return collected;
}

int DebugLog::count(const QString &start) const
{
    int n = 0;
    for (const QString &line : lines())
        n += line.startsWith(start);
    return n;
}

void DebugLog::handler(QtMsgType type, const QMessageLogContext &context, const QString &text)
{
    if (type == QtDebugMsg && current) {
        QMutexLocker locker(&current->mutex);
        current->collected.append(text);
        return;
    }
    if (current && current->previous)
        current->previous(type, context, text);
}
