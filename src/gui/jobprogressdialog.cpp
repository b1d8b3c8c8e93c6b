#include "jobprogressdialog.h"

#include <QCloseEvent>
#include <QKeyEvent>

JobProgressDialog::JobProgressDialog(const QString &label, int maximum, QWidget *parent)
    : QProgressDialog(label, QString(), 0, maximum, parent)
{
    setWindowFlags(windowFlags() & ~Qt::WindowCloseButtonHint);
    setCancelButton(nullptr);
    setWindowModality(Qt::WindowModal);
    setValue(0);
    show();
}

void JobProgressDialog::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Escape)
        event->ignore();
    else
        QProgressDialog::keyPressEvent(event);
}

void JobProgressDialog::closeEvent(QCloseEvent *event)
{
    event->ignore();
}
