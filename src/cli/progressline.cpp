#include "progressline.h"

#include <QMutexLocker>

#include <unistd.h>

namespace {

constexpr int updateMilliseconds = 100;

} // namespace

ProgressLine::ProgressLine(bool wanted) : enabled(wanted && ::isatty(STDERR_FILENO)) { }

ProgressLine::~ProgressLine()
{
    QMutexLocker locker(&mutex);
    clear();
}

void ProgressLine::show(const QString &text)
{
    if (!enabled)
        return;
    QMutexLocker locker(&mutex);
    if (shown && sinceUpdate.isValid() && sinceUpdate.elapsed() < updateMilliseconds)
        return;
    sinceUpdate.start();
    std::fprintf(stderr, "\r%s\033[K", text.toLocal8Bit().constData());
    std::fflush(stderr);
    shown = true;
}

void ProgressLine::print(std::FILE *stream, const QString &line)
{
    QMutexLocker locker(&mutex);
    clear();
    std::fprintf(stream, "%s\n", line.toLocal8Bit().constData());
    std::fflush(stream);
}

void ProgressLine::clear()
{
    if (!shown)
        return;
    std::fprintf(stderr, "\r\033[K");
    std::fflush(stderr);
    shown = false;
}
