#ifndef PROGRESSLINE_H
#define PROGRESSLINE_H

#include <QElapsedTimer>
#include <QMutex>
#include <QString>

#include <cstdio>

// One line on stderr that shows the newest progress and is rewritten in place, a few times a
// second at most. It shows nothing unless stderr is a terminal, so scripts and logs never see
// it. Messages go through it too, so that they never land in the middle of the line. Safe to use
// from several threads.
class ProgressLine
{
public:
    explicit ProgressLine(bool wanted);
    ~ProgressLine();

    void show(const QString &text);
    // Prints a line on stream, clearing the progress line first.
    void print(std::FILE *stream, const QString &line);

private:
    void clear();

    const bool enabled;
    bool shown = false;
    QElapsedTimer sinceUpdate;
    QMutex mutex;
};

#endif // PROGRESSLINE_H
