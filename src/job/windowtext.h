#ifndef WINDOWTEXT_H
#define WINDOWTEXT_H

#include <QCoreApplication>
#include <QString>

// The reasons and messages the job's steps give are the window's texts, so they are translated in
// its context; the command line shows the same words.
inline QString windowText(const char *text)
{
    return QCoreApplication::translate("MainWindow", text);
}

// Why a job that was asked to stop gives no result.
inline QString stoppedText()
{
    return windowText("Stopped before the last file");
}

#endif // WINDOWTEXT_H
