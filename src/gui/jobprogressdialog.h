#ifndef JOBPROGRESSDIALOG_H
#define JOBPROGRESSDIALOG_H

#include <QProgressDialog>

// The window-modal progress dialog of a job on the worker thread: it has no cancel or close
// button, shows at once, and cannot be dismissed, since Escape or the window manager's close
// would hide it and leave a window that looks idle but ignores every click. It hides itself when
// its value reaches the maximum.
class JobProgressDialog : public QProgressDialog
{
    Q_OBJECT

public:
    JobProgressDialog(const QString &label, int maximum, QWidget *parent);

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
};

#endif // JOBPROGRESSDIALOG_H
