#include "outputnames.h"

namespace OutputNames {

namespace {

// The extensions of the three byte orders, which the desktop entry's ROM type stands for.
const char *const romExtensions[] = {".z64", ".v64", ".n64"};

QString withoutExtension(const QString &fileName)
{
    const int dot = fileName.lastIndexOf(QLatin1Char('.'));
    return dot < 0 ? fileName : fileName.left(dot);
}

} // namespace

const char decompressedPrefix[] = "dec_";
const char compressedPrefix[] = "cmp_";

QString withPrefix(const QString &romFileName, const char *prefix)
{
    return QLatin1String(prefix) + withoutExtension(romFileName) + QLatin1String(".z64");
}

QString decompressedName(const QString &romFileName)
{
    return withPrefix(romFileName, decompressedPrefix);
}

QString compressedName(const QString &decompressedFileName)
{
    const QLatin1String prefix(decompressedPrefix);
    const QString name = decompressedFileName.startsWith(prefix)
        ? decompressedFileName.mid(prefix.size())
        : decompressedFileName;
    return withPrefix(name, compressedPrefix);
}

QStringList originalNames(const QString &decompressedFileName)
{
    const QLatin1String prefix(decompressedPrefix);
    if (!decompressedFileName.startsWith(prefix) || decompressedFileName.size() == prefix.size())
        return QStringList();
    const QString base = withoutExtension(decompressedFileName.mid(prefix.size()));
    QStringList names;
    for (const char *extension : romExtensions)
        names << base + QLatin1String(extension);
    return names;
}

} // namespace OutputNames
