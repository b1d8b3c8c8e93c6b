#include "windowtest.h"

#include "testapp.h"
#include "windowdriver.h"

#include <QApplication>
#include <QTemporaryDir>
#include <QtTest>

WindowTest::WindowTest() = default;
WindowTest::~WindowTest() = default;

QString WindowTest::testFolder() const
{
    return folder->path();
}

QString WindowTest::testPath(const QString &name) const
{
    return folder->filePath(name);
}

QString WindowTest::writeFile(const QString &name, const QByteArray &content) const
{
    return WindowDriver::writeFile(*folder, name, content);
}

void WindowTest::initTestCase()
{
    prepareApplication();
}

void WindowTest::init()
{
    QSettings().clear();
    folder = std::make_unique<QTemporaryDir>();
    QVERIFY(folder->isValid());
}

void WindowTest::cleanup()
{
    folder.reset();
    QCOMPARE(QApplication::topLevelWidgets().size(), 0);
}
