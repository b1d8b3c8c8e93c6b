#ifndef PROGRESSLINE_H
#define PROGRESSLINE_H

#include <QElapsedTimer>
#include <QMutex>
#include <QString>

#include <cstdio>

// One line on stderr that shows the newest progress and is rewritten in place, ten times a second
// at most. It shows nothing unless stderr is a terminal, so scripts and logs never see it; it is
// cut to the terminal's width, uses no escape sequences on a dumb terminal, and ends its line
// when the program is interrupted. Messages go through it too, so that they never land in the
// middle of the line. Safe to use from several threads.
class ProgressLine
{
public:
    explicit ProgressLine(bool wanted);
    ~ProgressLine();
    ProgressLine(const ProgressLine &) = delete;
    ProgressLine &operator=(const ProgressLine &) = delete;

    // Shows text unless the line changed less than a tenth of a second ago; now shows it anyway.
    void show(const QString &text, bool now = false);
    // Prints a line on stream, clearing the progress line first.
    void print(std::FILE *stream, const QString &line);

private:
    void clear();

    const bool enabled;
    const bool dumb; // TERM=dumb: no escape sequences
    int shownLength = 0; // characters on the line now; 0 when it is clear
    QElapsedTimer sinceUpdate;
    QMutex mutex;
};

#endif // PROGRESSLINE_H
