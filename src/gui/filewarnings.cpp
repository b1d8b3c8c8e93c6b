#include "filewarnings.h"

#include "windowtext.h"

#include <QDir>
#include <QMessageBox>

namespace FileWarnings {

bool cannotRead(QWidget *parent, const QString &path, const QString &reason)
{
    QMessageBox::warning(parent, windowText("Application"),
        windowText("Cannot read file %1:\n%2.").arg(path, reason));
    return false;
}

QString cannotReadLine(const QString &path, const QString &reason)
{
    return windowText("Cannot read file %1: %2.").arg(path, reason);
}

bool cannotWrite(QWidget *parent, const QString &path, const QString &reason)
{
    QMessageBox::warning(parent, windowText("Application"),
        windowText("Cannot write file %1:\n%2.").arg(QDir::toNativeSeparators(path), reason));
    return false;
}

} // namespace FileWarnings
