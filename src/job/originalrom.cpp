#include "originalrom.h"

#include "windowtext.h"

#include "byteorder.h"
#include "outputfile.h"
#include "passplan.h"
#include "romfile.h"
#include "romplan.h"

namespace OriginalRom {

namespace {

const QString decompressedPrefix = QStringLiteral("dec_");

QString withoutPrefix(const QString &fileName)
{
    return fileName.startsWith(decompressedPrefix) ? fileName.mid(decompressedPrefix.size())
                                                   : fileName;
}

} // namespace

QString siblingName(const QString &decompressedFileName)
{
    const QString name = withoutPrefix(decompressedFileName);
    return name == decompressedFileName ? QString() : name;
}

QString compressedName(const QString &decompressedFileName)
{
    return OutputFile::defaultName(withoutPrefix(decompressedFileName), QStringLiteral("cmp_"));
}

QString problem(const QString &path, qint32 tableAddress)
{
    RomFile::Contents contents = RomFile::read(path, RomFile::Lengths::AnyInBigEndian);
    if (!contents.ok())
        return contents.error;
    RomByteOrder::toBigEndian(contents.bytes);
    const PassPlan::Plan plan = RomPlan::prepare(contents.bytes,
        PassPlan::TableChoice::at(tableAddress, true), {}, RomPlan::Use::LayOutLike);
    if (!plan.ok())
        return plan.refusal;
    if (!PassPlan::hasCompressedFiles(plan.files))
        return windowText("ORIGINAL has no compressed file: it is no compressed ROM");
    return QString();
}

} // namespace OriginalRom
