#ifndef WINDOWDRIVER_H
#define WINDOWDRIVER_H

#include <QString>
#include <QStringList>

class MainWindow;
class QAction;
class QComboBox;
class QLineEdit;
class QPushButton;
class QTemporaryDir;

// Reaches the real window's widgets the way a user would, and writes test files.
namespace WindowDriver {

QComboBox *gameCombo(MainWindow &window);
QLineEdit *addressEdit(MainWindow &window);
QPushButton *decompressButton(MainWindow &window);
QAction *openAction(MainWindow &window);
QAction *compressAction(MainWindow &window);
QList<QAction *> recentFileActions(MainWindow &window);
QStringList visibleRecentFiles(MainWindow &window); // the texts of the visible entries
QString statusMessage(MainWindow &window);
QString romFacts(MainWindow &window); // the text of the area that says what the ROM is

// Drops local files on the window, as a file manager would.
void dropFiles(MainWindow &window, const QStringList &paths);
// Drops something that holds no URL at all.
void dropText(MainWindow &window, const QString &text);

QString writeFile(const QTemporaryDir &dir, const QString &name, const QByteArray &content);

} // namespace WindowDriver

#endif // WINDOWDRIVER_H
