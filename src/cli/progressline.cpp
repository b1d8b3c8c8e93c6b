#include "progressline.h"

#include "console.h"
#include "terminal.h"

#include <QMutexLocker>

#include <atomic>
#include <csignal>
#include <cstdlib>
#include <cstring>

namespace {

constexpr int updateMilliseconds = 100;
constexpr int interruptSignals[] = {SIGINT, SIGTERM, SIGHUP};

// Whether a progress line is on the terminal, for the signal handler: an interrupted program
// ends the line so that the shell's prompt starts on a line of its own.
std::atomic<bool> lineShown {false};

void endLineAndDie(int signal)
{
    if (lineShown.load())
        Terminal::endLineOnStandardError();
    std::signal(signal, SIG_DFL);
    std::raise(signal);
}

bool dumbTerminal()
{
    const char *term = std::getenv("TERM");
    return !term || !*term || std::strcmp(term, "dumb") == 0;
}

} // namespace

ProgressLine::ProgressLine(bool wanted)
    : enabled(wanted && Terminal::isTerminal(Terminal::Stream::Error)), dumb(dumbTerminal())
{
    if (enabled) {
        for (const int signal : interruptSignals)
            std::signal(signal, endLineAndDie);
    }
}

ProgressLine::~ProgressLine()
{
    QMutexLocker locker(&mutex);
    clear();
    if (enabled) {
        for (const int signal : interruptSignals)
            std::signal(signal, SIG_DFL);
    }
}

void ProgressLine::show(const QString &text, bool now)
{
    if (!enabled)
        return;
    QMutexLocker locker(&mutex);
    if (!now && shownLength > 0 && sinceUpdate.elapsed() < updateMilliseconds)
        return;
    sinceUpdate.start();
    // A line longer than the terminal would wrap, and \r would then rewrite only its last part.
    const int room = Terminal::width() - 1;
    QString line
        = text.size() > room ? text.left(std::max(0, room - 3)) + QLatin1String("...") : text;
    if (dumb) {
        const int previous = shownLength;
        shownLength = line.size();
        line = QLatin1Char('\r') + line.leftJustified(previous) + QLatin1Char('\r') + line;
    } else {
        shownLength = line.size();
        line = QLatin1Char('\r') + line + QLatin1String("\033[K");
    }
    const QByteArray bytes = line.toLocal8Bit();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stderr);
    std::fflush(stderr);
    lineShown = shownLength > 0;
}

void ProgressLine::print(std::FILE *stream, const QString &line)
{
    QMutexLocker locker(&mutex);
    clear();
    Console::printLine(stream, line);
    std::fflush(stream);
}

void ProgressLine::clear()
{
    if (shownLength == 0)
        return;
    if (dumb)
        std::fprintf(stderr, "\r%*s\r", shownLength, "");
    else
        std::fprintf(stderr, "\r\033[K");
    std::fflush(stderr);
    shownLength = 0;
    lineShown = false;
}
