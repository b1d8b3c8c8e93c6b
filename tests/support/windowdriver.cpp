#include "windowdriver.h"

#include "mainwindow.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDropEvent>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QPushButton>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QUrl>

namespace WindowDriver {

QComboBox *gameCombo(MainWindow &window)
{
    return window.findChild<QComboBox *>();
}

QLineEdit *addressEdit(MainWindow &window)
{
    return window.findChild<QLineEdit *>();
}

QPushButton *decompressButton(MainWindow &window)
{
    return window.findChild<QPushButton *>();
}

static QList<QAction *> fileMenuActions(MainWindow &window)
{
    return window.menuBar()->actions().at(0)->menu()->actions();
}

QAction *openAction(MainWindow &window)
{
    return fileMenuActions(window).at(0);
}

QAction *compressAction(MainWindow &window)
{
    return fileMenuActions(window).at(1);
}

QList<QAction *> recentFileActions(MainWindow &window)
{
    return fileMenuActions(window).mid(3, 5);
}

QStringList visibleRecentFiles(MainWindow &window)
{
    QStringList texts;
    for (QAction *action : recentFileActions(window)) {
        if (action->isVisible())
            texts << action->text();
    }
    return texts;
}

QString romFacts(MainWindow &window)
{
    auto *area = window.findChild<QLabel *>(QStringLiteral("romFacts"));
    return area ? area->text() : QString();
}

QString statusMessage(MainWindow &window)
{
    return window.statusBar()->currentMessage();
}

static void drop(MainWindow &window, QMimeData *data)
{
    const QPoint centre = window.rect().center();
    QDragEnterEvent enter(centre, Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&window, &enter);
    QDropEvent dropped(centre, Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&window, &dropped);
    delete data;
}

void dropFiles(MainWindow &window, const QStringList &paths)
{
    auto *data = new QMimeData;
    QList<QUrl> urls;
    for (const QString &path : paths)
        urls << QUrl::fromLocalFile(path);
    data->setUrls(urls);
    drop(window, data);
}

void dropText(MainWindow &window, const QString &text)
{
    auto *data = new QMimeData;
    data->setText(text);
    drop(window, data);
}

QString writeFile(const QTemporaryDir &dir, const QString &name, const QByteArray &content)
{
    const QString path = dir.filePath(name);
    QFile file(path);
    if (!file.open(QFile::WriteOnly) || file.write(content) != content.size())
        qFatal("cannot write the test file %s", qPrintable(path));
    return path;
}

} // namespace WindowDriver
