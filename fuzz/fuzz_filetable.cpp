// Reading a file table, finding it and the header texts, from any image and address.
#include "filetable.h"
#include "fuzzinput.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzInput input(data, size);
    const qint32 rawAddress = input.takeInt();
    const QByteArray image = input.rest();
    // Mostly addresses inside the image, sometimes anything at all.
    const qint32 address = rawAddress & 1 ? rawAddress : (rawAddress >> 1) % (image.size() + 64);

    const QVector<FileRecord> records = FileTable::read(image, address);
    if (address < 0 && !records.isEmpty())
        std::abort();
    if (records.size() > image.size() / FileTable::entrySize + 1)
        std::abort();
    for (int i = 0; i < records.size(); ++i) {
        if (records.at(i).index != i
            || (records.at(i).virtualStart == 0 && records.at(i).virtualEnd == 0))
            std::abort();
    }
    FileTable::startsWithExpectedEntry(image, address);
    qint32 found = 0;
    if (FileTable::findAddress(image, &found) && found <= 0)
        std::abort();
    FileTable::gameCode(image);
    const QString text = QString::fromLatin1(image.left(24));
    FileTable::parseAddressText(text);
    if (FileTable::parseAddressText(FileTable::addressText(address & 0x7FFFFFFF))
        != (address & 0x7FFFFFFF))
        std::abort();
    // The strict reading accepts only non-negative addresses, agrees with the lenient one on
    // texts both read, and reads back every address text it could be shown.
    qint32 strict = -1;
    if (FileTable::readAddressText(text, &strict)
        && (strict < 0
            || (text == text.trimmed() && !text.startsWith(QLatin1String("0X"))
                && FileTable::parseAddressText(text) != strict)))
        std::abort();
    if (!FileTable::readAddressText(FileTable::addressText(address & 0x7FFFFFFF), &strict)
        || strict != (address & 0x7FFFFFFF))
        std::abort();
    return 0;
}
