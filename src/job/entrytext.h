#ifndef ENTRYTEXT_H
#define ENTRYTEXT_H

#include "filetable.h"

#include <QString>

// How messages name the file table and its entries, spelled here once for every step.
namespace EntryText {

// "the file table at 0x00007430"
QString table(qint32 tableAddress);
// "Entry 3 of the file table at 0x00007430"
QString name(int index, qint32 tableAddress);
// The entry's four words as the table stores them: "0x00001060 0x00002000 0x00001060 0x00000000"
QString words(const FileRecord &file);
// "Entry 3 of the file table at 0x00007430 (its words) " and what is wrong with it, ending in ".".
QString statement(const FileRecord &file, qint32 tableAddress, const QString &problem);

} // namespace EntryText

#endif // ENTRYTEXT_H
