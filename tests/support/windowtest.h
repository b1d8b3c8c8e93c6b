#ifndef WINDOWTEST_H
#define WINDOWTEST_H

#include <QObject>
#include <QString>

#include <memory>

class QTemporaryDir;

// The set-up every test of the real window shares: the application's identity (main() does not
// run in tests) and a settings store of the test's own, cleared before each test function, a
// fresh temporary folder for each, and no window left behind after it.
class WindowTest : public QObject
{
    Q_OBJECT

public:
    WindowTest();
    ~WindowTest() override;

protected:
    QString testFolder() const;
    QString testPath(const QString &name) const;
    QString writeFile(const QString &name, const QByteArray &content) const;

private slots:
    void initTestCase();
    void init();
    void cleanup();

private:
    std::unique_ptr<QTemporaryDir> folder;
};

#endif // WINDOWTEST_H
