#ifndef MAINWINDOW_H
#define MAINWINDOW_H

#include "byteorder.h"
#include "knowndumps.h"
#include "rominfo.h"
#include "romstate.h"

#include <QMainWindow>
#include <QSettings>

class QAction;
class QCloseEvent;
class QComboBox;
class QLabel;
class QDragEnterEvent;
class QDropEvent;
class QLineEdit;
class QMenu;
class QProgressDialog;
class QPushButton;
class QThread;
class CompressFlow;
class FactsArea;
class RomInspection;
class Worker;

class MainWindow : public QMainWindow
{
    Q_OBJECT

public:
    explicit MainWindow(QWidget *parent = nullptr);
    ~MainWindow() override;

    // Loads a ROM named on the command line, as a drop would.
    void openRom(const QString &fileName);
    // The original dumps the window knows (the built-in list unless another is given).
    void useKnownDumps(KnownDumps::Table table);

protected:
    void closeEvent(QCloseEvent *event) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dropEvent(QDropEvent *event) override;

private slots:
    void openRecentFile();
    void setGame(int game);
    void startDecompression();
    void about();
    void open();
    void saveFile();
    void endConvertion();
    void updateProgressDialog(int i, QString value);

private:
    enum { RecentFileLimit = 5 };

    void createActions();
    void createMenus();
    void createForm();
    void createWorker();
    void refreshRecentFileActions();
    void noteCurrentFile(const QString &fileName);
    void loadFile(const QString &fileName);
    bool readRomFile(const QString &fileName, QString *notRomReason);
    void refuseNotRom(const QString &reason);
    void startConversion(bool byteSwapped);
    void finishLoading();
    void startInspection();
    void showRomFacts(const RomInfo::Facts &facts);
    static QString startHint();
    void initFilesystem(int address);
    bool checkFileList();
    // Not a slot: the window's slots are the ones its menus, form and worker reach by name.
    void startCompression();
    bool readTableAddress(qint32 *address);
    QProgressDialog *createProgressDialog(const QString &label, int maximum);
    void runOnWorker(int method);
    bool writeOutputImage();
    void fixCRC();
    void buildCrcTable();
    int bootChip(QByteArray image);
    int calculateChecksum(quint32 *result, QByteArray image);

    QSettings settings;
    RomState romState;
    QMenu *fileMenu = nullptr;
    QMenu *helpMenu = nullptr;
    QAction *openAction = nullptr;
    QAction *compressAction = nullptr;
    QAction *recentFileActions[RecentFileLimit] = {};
    QAction *exitAction = nullptr;
    QAction *aboutAction = nullptr;
    QComboBox *gameCombo = nullptr;
    QLineEdit *tableAddressEdit = nullptr;
    QPushButton *decompressButton = nullptr;
    FactsArea *factsArea = nullptr; // what the loaded ROM is, and what was last done with it
    RomInspection *inspection = nullptr; // what the loaded ROM is, found off the GUI thread
    ByteOrder loadedOrder = ByteOrder::NotRom; // the order the loaded file came in
    QThread *thread = nullptr;
    Worker *worker = nullptr;
    QProgressDialog *progressDialog = nullptr;
    CompressFlow *compressFlow = nullptr; // File -> Compress...
    quint32 crcTable[256] = {};
    bool jobInProgress = false; // the worker owns the images until its job's signal arrives
};

#endif // MAINWINDOW_H
