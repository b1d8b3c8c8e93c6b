#ifndef TESTAPP_H
#define TESTAPP_H

#include <QApplication>
#include <QSettings>
#include <QStandardPaths>

// What main() does before the window exists, for tests that build the real window: the
// application's identity (it decides where settings live) and a settings store of the test's own.
inline void prepareApplication()
{
    QStandardPaths::setTestModeEnabled(true);
    QApplication::setApplicationName(QStringLiteral("Tidepool"));
    QApplication::setApplicationVersion(QStringLiteral("1.0"));
    QApplication::setOrganizationName(QStringLiteral("Marrowfen"));
    QApplication::setOrganizationDomain(QStringLiteral("marrowfen.example"));
    QSettings().clear();
}

#endif // TESTAPP_H
