#include "entrytext.h"

#include "windowtext.h"

namespace EntryText {

QString table(qint32 tableAddress)
{
    return windowText("the file table at %1").arg(FileTable::addressText(tableAddress));
}

QString name(int index, qint32 tableAddress)
{
    return windowText("Entry %1 of %2").arg(index).arg(table(tableAddress));
}

QString words(const FileRecord &file)
{
    return QStringLiteral("%1 %2 %3 %4")
        .arg(FileTable::addressText(file.virtualStart), FileTable::addressText(file.virtualEnd),
            FileTable::addressText(file.physicalStart), FileTable::addressText(file.physicalEnd));
}

QString statement(const FileRecord &file, qint32 tableAddress, const QString &problem)
{
    return windowText("%1 (%2) %3.").arg(name(file.index, tableAddress), words(file), problem);
}

} // namespace EntryText
