#include "windowsettings.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace WindowSettings {

namespace {

const QString recentFilesKey = QStringLiteral("recentFileList");
const QString romPathKey = QStringLiteral("romPath");
const QString fileDialogPathKey = QStringLiteral("fileDialogPath");

} // namespace

QStringList recentFiles(const QSettings &settings)
{
    return settings.value(recentFilesKey).toStringList();
}

void addRecentFile(QSettings &settings, const QString &fileName, int limit)
{
    QStringList files = recentFiles(settings);
    files.removeAll(fileName);
    files.prepend(fileName);
    while (files.size() > limit)
        files.removeLast();
    settings.setValue(recentFilesKey, files);
}

QString romPath(const QSettings &settings)
{
    return settings.value(romPathKey).toString();
}

void noteRomRead(QSettings &settings, const QString &fileName)
{
    settings.setValue(romPathKey, fileName);
    if (!settings.contains(fileDialogPathKey)) {
        settings.setValue(fileDialogPathKey, QFileInfo(fileName).absolutePath() + QLatin1Char('/'));
    }
}

QString openDialogStart(QSettings &settings)
{
    if (!settings.contains(romPathKey)) {
        settings.setValue(
            romPathKey, QStandardPaths::writableLocation(QStandardPaths::DesktopLocation));
    }
    const QString stored = romPath(settings);
    const QFileInfo info(stored);
    if (info.exists())
        return stored;
    if (info.absoluteDir().exists())
        return info.absolutePath();
    return QDir::homePath();
}

} // namespace WindowSettings
