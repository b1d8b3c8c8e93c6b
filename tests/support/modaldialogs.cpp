#include "modaldialogs.h"

#include <QAbstractButton>
#include <QApplication>
#include <QFileDialog>
#include <QLineEdit>
#include <QProgressDialog>
#include <QPushButton>
#include <QSignalBlocker>
#include <QtTest>

#include <algorithm>

ModalDialogs::ModalDialogs(QObject *parent) : QObject(parent)
{
    connect(&timer, &QTimer::timeout, this, &ModalDialogs::poll);
    timer.start(10);
}

void ModalDialogs::poll()
{
    QWidget *modal = QApplication::activeModalWidget();
    if (!modal || qobject_cast<QProgressDialog *>(modal))
        return;
    if (modal != handled) {
        handled = modal;
        forced = false;
        sinceAnswer.start();
        if (!answer(modal))
            giveUp(modal, "is a modal widget that no test answers");
        return;
    }
    // A file dialog is accepted through a queued call, so it stays open for a moment.
    if (sinceAnswer.elapsed() < answerTimeoutMilliseconds)
        return;
    if (forced) {
        qFatal("ModalDialogs: %s \"%s\" cannot even be closed", modal->metaObject()->className(),
            qPrintable(modal->windowTitle()));
    }
    giveUp(modal, "is still open after it was answered");
}

bool ModalDialogs::answer(QWidget *modal)
{
    if (auto *box = qobject_cast<QMessageBox *>(modal)) {
        QStringList texts;
        for (QAbstractButton *button : box->buttons())
            texts << button->text();
        messageBoxes.append({box->windowTitle(), box->text(), box->standardButtons(),
            box->standardButton(box->defaultButton()), texts});
        if (!buttonTexts.isEmpty()) {
            const QString wanted = buttonTexts.takeFirst();
            const QList<QAbstractButton *> buttons = box->buttons();
            const auto found = std::find_if(buttons.cbegin(), buttons.cend(),
                [&wanted](QAbstractButton *button) { return button->text() == wanted; });
            if (found == buttons.cend())
                return false;
            (*found)->click();
            return true;
        }
        QAbstractButton *button = box->button(messageAnswer);
        if (!button)
            button = box->buttons().value(0);
        if (button)
            button->click();
        else
            box->reject();
        return true;
    }
    auto *dialog = qobject_cast<QFileDialog *>(modal);
    if (!dialog)
        return false;
    fileDialogTitles.append(dialog->windowTitle());
    fileDialogDirectories.append(dialog->directory().absolutePath());
    const QStringList selected = dialog->selectedFiles();
    fileDialogSelections.append(selected.value(0));
    const QString path = filePaths.isEmpty() ? QString() : filePaths.takeFirst();
    if (path.isEmpty()) {
        QMetaObject::invokeMethod(dialog, "reject", Qt::QueuedConnection);
        return true;
    }
    dialog->selectFile(path);
    // selectFile leaves the name field alone while it has the focus, which the dialog gets once
    // its window is activated, sometimes before this poll and sometimes after. The field is what
    // accept() reads, so it gets the whole path either way; without its signals, no completion
    // pops up.
    if (auto *name = dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"))) {
        const QSignalBlocker quiet(name);
        name->setText(path);
    }
    QMetaObject::invokeMethod(dialog, "accept", Qt::QueuedConnection);
    return true;
}

// Fails the running test, naming the dialog, and closes the dialog so that the code that opened
// it returns and the test ends.
void ModalDialogs::giveUp(QWidget *modal, const char *why)
{
    const QString failure = QStringLiteral("%1 \"%2\" %3")
                                .arg(QLatin1String(modal->metaObject()->className()),
                                    modal->windowTitle(), QLatin1String(why));
    failures.append(failure);
    QTest::qFail(qPrintable(QStringLiteral("ModalDialogs: ") + failure), __FILE__, __LINE__);
    forced = true;
    sinceAnswer.start();
    if (auto *dialog = qobject_cast<QDialog *>(modal))
        dialog->done(QDialog::Rejected);
    else
        modal->close();
}
