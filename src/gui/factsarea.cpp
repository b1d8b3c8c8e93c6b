#include "factsarea.h"

#include "windowtext.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>

namespace {

constexpr int factsLines = 7; // what most ROMs need

} // namespace

FactsArea::FactsArea(QWidget *parent) : QLabel(parent)
{
    setObjectName(QStringLiteral("romFacts"));
    setWordWrap(true);
    setTextFormat(Qt::PlainText);
    setTextInteractionFlags(Qt::TextSelectableByMouse);
    setFrameShape(QFrame::StyledPanel);
    setMargin(4);
    setAlignment(Qt::AlignLeft | Qt::AlignTop);
    leastHeight = factsLines * fontMetrics().lineSpacing() + 12;
    setMinimumHeight(leastHeight);
}

void FactsArea::showFacts(const QStringList &lines)
{
    facts = lines;
    refresh();
}

void FactsArea::showResult(const QString &savedPath, const QStringList &lines)
{
    saved = savedPath.isEmpty() ? QString()
                                : QDir::toNativeSeparators(QFileInfo(savedPath).absoluteFilePath());
    result = lines;
    refresh();
}

void FactsArea::addNote(const QString &line)
{
    notes << line;
    refresh();
}

void FactsArea::startOver()
{
    notes.clear();
    saved.clear();
    result.clear();
    refresh();
}

// A long path would not wrap, so it is shortened in the middle to the area's width.
QString FactsArea::savedLine(const QString &path, bool whole) const
{
    const QString line = windowText("Saved to %1");
    if (whole || !isVisible())
        return line.arg(path);
    const int room = contentsRect().width() - 2 * margin()
        - fontMetrics().horizontalAdvance(line.arg(QString()));
    return line.arg(fontMetrics().elidedText(path, Qt::ElideMiddle, room));
}

void FactsArea::refresh()
{
    QStringList shown = facts;
    QStringList whole = facts;
    if (!saved.isEmpty()) {
        shown << savedLine(saved, false);
        whole << savedLine(saved, true);
    }
    shown << result << notes;
    whole << result << notes;
    setText(shown.join('\n'));
    setToolTip(saved.isEmpty() ? QString() : whole.join('\n'));
    // Before the window is shown the area has no width of its own to wrap at.
    if (isVisible())
        setMinimumHeight(std::max(leastHeight, heightForWidth(width())));
}
