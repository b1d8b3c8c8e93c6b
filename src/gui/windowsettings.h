#ifndef WINDOWSETTINGS_H
#define WINDOWSETTINGS_H

#include <QSettings>
#include <QString>
#include <QStringList>

// What the window keeps in the per-user settings store, each key named here once (the way back
// keeps its own, see OriginalRom).
namespace WindowSettings {

// "recentFileList": the ROMs opened, newest first.
QStringList recentFiles(const QSettings &settings);
// Puts fileName first, keeping at most limit entries.
void addRecentFile(QSettings &settings, const QString &fileName, int limit);

// "romPath": the last ROM read.
QString romPath(const QSettings &settings);
// A ROM was read: "romPath" names it, and the first ROM read names its folder (with a slash at
// the end) as "fileDialogPath".
void noteRomRead(QSettings &settings, const QString &fileName);

// Where the Open dialog starts: "romPath", which is set to the desktop folder first when it is
// missing; if that path is gone, its folder, else the home folder (a dialog opened on a missing
// path would offer its last part as a file name).
QString openDialogStart(QSettings &settings);

} // namespace WindowSettings

#endif // WINDOWSETTINGS_H
