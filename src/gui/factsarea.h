#ifndef FACTSAREA_H
#define FACTSAREA_H

#include <QLabel>
#include <QStringList>

// The area below the form: what the loaded ROM is, then what was last done with it (where it was
// saved, what a compress did or that it was cancelled), then notes about files that could not be
// read. Each part replaces what it held before, so the area never gathers lines from one job to
// the next. Every line stays readable: a long path is shortened in the middle to the area's
// width (the tooltip has it whole), and the area takes the height its lines need, never less than
// room for most ROMs' facts, so the window keeps its size from one ROM to the next.
class FactsArea : public QLabel
{
    Q_OBJECT

public:
    explicit FactsArea(QWidget *parent = nullptr);

    // What the ROM is; the result of a job on the ROM before is let go.
    void showFacts(const QStringList &lines);
    // What the last job did: "Saved to PATH" when it saved, then the lines that say more.
    void showResult(const QString &savedPath, const QStringList &lines = QStringList());
    void showResult(const QStringList &lines) { showResult(QString(), lines); }
    // A file that could not be read, kept below until a file is read.
    void addNote(const QString &line);
    // A file was read: the notes no longer matter, nor does the last result.
    void startOver();

private:
    QString savedLine(const QString &path, bool whole) const;
    void refresh();

    QStringList facts;
    QString saved; // where the last job saved, or empty
    QStringList result;
    QStringList notes;
    int leastHeight = 0;
};

#endif // FACTSAREA_H
