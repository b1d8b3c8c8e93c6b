#ifndef FILEWARNINGS_H
#define FILEWARNINGS_H

#include <QString>

class QWidget;

// The window's boxes for a file that cannot be read or written, titled "Application", each
// spelled here once.
namespace FileWarnings {

// "Cannot read file PATH:\nREASON."; returns false, for a caller that gives up.
bool cannotRead(QWidget *parent, const QString &path, const QString &reason);
// The same as one line, for the facts area.
QString cannotReadLine(const QString &path, const QString &reason);
// "Cannot write file PATH:\nREASON."; returns false.
bool cannotWrite(QWidget *parent, const QString &path, const QString &reason);

} // namespace FileWarnings

#endif // FILEWARNINGS_H
