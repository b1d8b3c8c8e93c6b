#ifndef MODALDIALOGS_H
#define MODALDIALOGS_H

#include <QElapsedTimer>
#include <QMessageBox>
#include <QObject>
#include <QPointer>
#include <QStringList>
#include <QTimer>

// Answers the modal dialogs a test's code opens: it polls for the active modal widget, records
// what each message box said and answers it, and fills in file dialogs from a queue of paths (an
// empty path cancels). Checks belong after the modal call has returned: a failing check inside
// the timer would leave the dialog open and hang the test.
//
// No test may hang on a dialog: one still open a few seconds after it was answered, or a modal
// widget of a kind it does not answer, fails the running test at once, naming the dialog's class
// and title, and is closed by force. The program's own progress dialogs are left alone: they ask
// nothing.
class ModalDialogs : public QObject
{
    Q_OBJECT

public:
    explicit ModalDialogs(QObject *parent = nullptr);

    void answerMessageBoxesWith(QMessageBox::StandardButton button) { messageAnswer = button; }
    void queueFilePath(const QString &path) { filePaths.append(path); }
    // The next message box is answered with its button of this text (one of its own, not a
    // standard one); one without such a button fails the test.
    void queueButtonText(const QString &text) { buttonTexts.append(text); }

    struct Seen
    {
        QString title;
        QString text;
        QMessageBox::StandardButtons buttons;
        QMessageBox::StandardButton defaultButton;
        QStringList buttonTexts;
    };
    QList<Seen> messageBoxes;
    QStringList fileDialogTitles;
    QStringList fileDialogDirectories; // the folder each file dialog opened on
    QStringList fileDialogSelections; // the file each one proposed
    QStringList failures; // the dialogs that could not be answered

    // How long an answered dialog may stay open before the test fails.
    static constexpr int answerTimeoutMilliseconds = 3000;

private:
    void poll();
    bool answer(QWidget *modal);
    void giveUp(QWidget *modal, const char *why);

    QTimer timer;
    QPointer<QWidget> handled;
    QElapsedTimer sinceAnswer;
    bool forced = false; // handled was closed by force
    QMessageBox::StandardButton messageAnswer = QMessageBox::Ok;
    QStringList filePaths;
    QStringList buttonTexts;
};

#endif // MODALDIALOGS_H
