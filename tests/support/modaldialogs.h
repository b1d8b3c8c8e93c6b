#ifndef MODALDIALOGS_H
#define MODALDIALOGS_H

#include <QMessageBox>
#include <QObject>
#include <QPointer>
#include <QStringList>
#include <QTimer>

// Answers the modal dialogs a test's code opens: it polls for the active modal widget, records
// what each message box said and answers it, and fills in file dialogs from a queue of paths (an
// empty path cancels). Checks belong after the modal call has returned: a failing check inside
// the timer would leave the dialog open and hang the test.
class ModalDialogs : public QObject
{
    Q_OBJECT

public:
    explicit ModalDialogs(QObject *parent = nullptr);

    void answerMessageBoxesWith(QMessageBox::StandardButton button) { messageAnswer = button; }
    void queueFilePath(const QString &path) { filePaths.append(path); }

    struct Seen
    {
        QString title;
        QString text;
        QMessageBox::StandardButtons buttons;
        QMessageBox::StandardButton defaultButton;
    };
    QList<Seen> messageBoxes;
    QStringList fileDialogTitles;
    QStringList fileDialogDirectories; // the folder each file dialog opened on
    QStringList fileDialogSelections; // the file each one proposed

private:
    void poll();

    QTimer timer;
    QPointer<QWidget> handled;
    QMessageBox::StandardButton messageAnswer = QMessageBox::Ok;
    QStringList filePaths;
};

#endif // MODALDIALOGS_H
