#include "modaldialogs.h"

#include <QAbstractButton>
#include <QApplication>
#include <QFileDialog>
#include <QLineEdit>
#include <QPushButton>

ModalDialogs::ModalDialogs(QObject *parent) : QObject(parent)
{
    connect(&timer, &QTimer::timeout, this, &ModalDialogs::poll);
    timer.start(10);
}

void ModalDialogs::poll()
{
    QWidget *modal = QApplication::activeModalWidget();
    // A file dialog is accepted through a queued call, so that what its accept() opens (such as
    // the question whether to replace a file) is answered by a later poll.
    if (!modal || modal == handled)
        return;
    handled = modal;
    if (auto *box = qobject_cast<QMessageBox *>(modal)) {
        messageBoxes.append({box->windowTitle(), box->text(), box->standardButtons(),
            box->standardButton(box->defaultButton())});
        QAbstractButton *button = box->button(messageAnswer);
        if (!button)
            button = box->buttons().value(0);
        if (button)
            button->click();
        else
            box->reject();
    } else if (auto *dialog = qobject_cast<QFileDialog *>(modal)) {
        fileDialogTitles.append(dialog->windowTitle());
        fileDialogDirectories.append(dialog->directory().absolutePath());
        const QStringList selected = dialog->selectedFiles();
        fileDialogSelections.append(selected.value(0));
        const QString path = filePaths.isEmpty() ? QString() : filePaths.takeFirst();
        if (path.isEmpty()) {
            QMetaObject::invokeMethod(dialog, "reject", Qt::QueuedConnection);
        } else {
            dialog->selectFile(path);
            QMetaObject::invokeMethod(dialog, "accept", Qt::QueuedConnection);
        }
    }
}
