#include "rominfo.h"

#include "windowtext.h"

#include "checksum.h"
#include "codec.h"
#include "decompressionpass.h"
#include "filetable.h"
#include "gamepresets.h"
#include "romheader.h"
#include "romplan.h"

#include <QJsonArray>

#include <algorithm>

namespace RomInfo {

namespace {

QString checksumSummary(const HeaderChecksums::Report &report)
{
    const QString chip = Checksum::chipName(report.chip);
    if (!report.known)
        return windowText("Boot chip unknown: the checksums cannot be checked");
    if (report.good(0) && report.good(1))
        return windowText("Boot chip %1, checksums good").arg(chip);
    if (!report.good(0) && !report.good(1))
        return windowText("Boot chip %1, both checksums bad").arg(chip);
    return windowText("Boot chip %1, checksum %2 bad").arg(chip).arg(report.good(0) ? 2 : 1);
}

// The table as decompressing the ROM would find and judge it; the streams are walked too, so that
// files cut short are named before anyone decompresses.
void readTable(const QByteArray &rom, Facts &facts)
{
    RomPlan::Options options;
    options.walkStreams = true;
    const RomPlan::Plan plan = RomPlan::prepare(
        rom, RomPlan::TableChoice(), RomPlan::answered(facts.knownDump), options);
    facts.tableFound = plan.refusal.kind != Refusal::Kind::NoTableFound;
    facts.tableAddress = plan.address;
    facts.preset = GamePresets::nameAt(GamePresets::indexForAddress(facts.tableAddress));
    facts.tableProblem = plan.refusal.text;
    if (!facts.tableFound)
        return;
    facts.warnings = plan.warnings;
    // A refused plan keeps no files; the count is of the table as it is.
    const QVector<FileRecord> files = plan.ok() ? plan.files : FileTable::read(rom, plan.address);
    facts.files = files.size();
    facts.compressedFiles
        = int(std::count_if(files.cbegin(), files.cend(), FileTable::isCompressed));
    // A table cut off by the end of the ROM may have lost every compressed file's entry.
    facts.alreadyDecompressed = facts.files > 0 && facts.compressedFiles == 0
        && FileTable::endMarkInside(rom, plan.address, files);
    // A refused plan keeps no files, but says how each is stored.
    facts.filesByCodec = RomPlan::filesByCodec(files, plan.codecs);
}

QString hexWord(quint32 value)
{
    return FileTable::addressText(qint32(value));
}

QString orderDescription(ByteOrder order)
{
    switch (order) {
    case ByteOrder::Z64:
        return windowText("z64 (big endian)");
    case ByteOrder::V64:
        return windowText("v64 (byte-swapped)");
    case ByteOrder::N64:
        return windowText("n64 (little endian)");
    case ByteOrder::NotRom:
        break;
    }
    return QString();
}

QString dumpText(const Facts &facts)
{
    return facts.knownDump
        ? windowText("Known dump: %1").arg(QString::fromUtf8(facts.knownDump->name))
        : windowText("Not a known original dump (modified, a hack, or a bad dump)");
}

QString checksumWordText(const HeaderChecksums::Report &report, int word)
{
    const QString stored = hexWord(report.stored[word]);
    if (!report.known)
        return stored + windowText(" (cannot be checked: unknown boot chip)");
    if (report.good(word))
        return stored + windowText(" (good)");
    return stored + windowText(" (bad: should be %1)").arg(hexWord(report.computed[word]));
}

// "ucl", or "yaz0 (12), lzo (1200)" when there are several.
QString codecList(const Facts &facts)
{
    if (facts.filesByCodec.size() == 1)
        return CodecFile::name(facts.filesByCodec.firstKey());
    QStringList names;
    for (auto it = facts.filesByCodec.cbegin(); it != facts.filesByCodec.cend(); ++it)
        names << QStringLiteral("%1 (%2)").arg(CodecFile::name(it.key())).arg(it.value());
    return names.join(QLatin1String(", "));
}

QJsonValue codecJson(const Facts &facts)
{
    if (facts.filesByCodec.isEmpty())
        return QJsonValue();
    return facts.filesByCodec.size() == 1 ? CodecFile::name(facts.filesByCodec.firstKey())
                                          : QStringLiteral("mixed");
}

QJsonObject codecCountsJson(const Facts &facts)
{
    QJsonObject counts;
    for (auto it = facts.filesByCodec.cbegin(); it != facts.filesByCodec.cend(); ++it)
        counts.insert(CodecFile::name(it.key()), it.value());
    return counts;
}

QJsonObject checksumJson(const HeaderChecksums::Report &report, int word)
{
    QJsonObject object {{"stored", hexWord(report.stored[word])}};
    object.insert(QStringLiteral("computed"),
        report.known ? QJsonValue(hexWord(report.computed[word])) : QJsonValue());
    object.insert(
        QStringLiteral("good"), report.known ? QJsonValue(report.good(word)) : QJsonValue());
    return object;
}

} // namespace

Facts inspect(QByteArray rom, KnownDumps::Table knownDumps)
{
    const qint64 size = rom.size();
    ByteOrder order = RomByteOrder::toBigEndian(rom);
    if (order == ByteOrder::NotRom && RomByteOrder::isBigEndianOfAnyLength(size, rom))
        order = ByteOrder::Z64;
    if (order == ByteOrder::NotRom) {
        Facts facts;
        facts.size = size;
        return facts;
    }
    return inspectBigEndian(rom, order, knownDumps);
}

Facts inspectBigEndian(const QByteArray &rom, ByteOrder cameIn, KnownDumps::Table knownDumps)
{
    Facts facts;
    facts.size = rom.size();
    facts.order = cameIn;
    if (RomByteOrder::classify(rom) != ByteOrder::Z64
        && !RomByteOrder::isBigEndianOfAnyLength(rom.size(), rom))
        return facts;
    facts.title = RomHeader::title(rom);
    facts.gameCode = RomHeader::gameCode(rom).trimmed();
    if (!facts.gameCode.isEmpty())
        facts.region = facts.gameCode.back();
    facts.revision = RomHeader::revision(rom);
    facts.md5 = KnownDumps::md5Of(rom);
    facts.knownDump = KnownDumps::find(facts.md5, knownDumps);
    const GamePresets::Detection detection = GamePresets::detect(rom);
    facts.buildStringFound = detection.found;
    facts.buildStringAddress = detection.address;
    facts.checksums = HeaderChecksums::inspect(rom);
    readTable(rom, facts);
    return facts;
}

QString codecText(const QMap<Codec, int> &filesByCodec)
{
    QStringList hacks;
    for (auto it = filesByCodec.cbegin(); it != filesByCodec.cend(); ++it) {
        if (CodecFile::isHackCodec(it.key()))
            hacks << CodecFile::displayName(it.key());
    }
    if (hacks.isEmpty()) {
        return filesByCodec.contains(Codec::Deflate)
            ? windowText("Files compressed with DEFLATE (iQue Player)")
            : QString();
    }
    const QString names = hacks.size() == 1
        ? hacks.first()
        : hacks.mid(0, hacks.size() - 1).join(QLatin1String(", ")) + windowText(" and ")
            + hacks.last();
    const QString text = hacks.size() == 1
        ? windowText("Files compressed with %1 (a hack's codec; the game needs its patch to read "
                     "them)")
        : windowText("Files compressed with %1 (hacks' codecs; the game needs its patch to read "
                     "them)");
    return text.arg(names);
}

QStringList summary(const Facts &facts)
{
    QStringList lines;
    lines << QStringLiteral("%1 · %2 (%3), revision %4 · %5, %6 MiB")
                 .arg(facts.title.isEmpty() ? windowText("(no title)") : facts.title,
                     facts.gameCode.isEmpty() ? windowText("no game code") : facts.gameCode,
                     regionName(facts.region))
                 .arg(facts.revision)
                 .arg(RomByteOrder::name(facts.order))
                 .arg(double(facts.size) / (1 << 20), 0, 'f', facts.size % (1 << 20) ? 1 : 0);
    lines << dumpText(facts);
    lines << checksumSummary(facts.checksums);
    if (!facts.tableFound) {
        lines << windowText("%1: choose the game or type the table's address.")
                     .arg(facts.tableProblem);
        return lines;
    }
    lines << windowText("File table at %1: %2 files, %3 compressed")
                 .arg(FileTable::addressText(facts.tableAddress))
                 .arg(facts.files)
                 .arg(facts.compressedFiles);
    const QString codec = codecText(facts.filesByCodec);
    if (!codec.isEmpty())
        lines << codec;
    if (!facts.tableProblem.isEmpty())
        lines << facts.tableProblem.section(QLatin1Char('\n'), 0, 0);
    else
        lines << facts.warnings;
    return lines;
}

QList<Detail> details(const Facts &facts)
{
    QList<Detail> lines;
    const auto add = [&lines](const char *label, const QString &value) {
        lines.append({windowText(label), value});
    };
    add("Byte order:", orderDescription(facts.order));
    add("Size:", windowText("%1 bytes").arg(facts.size));
    add("Title:", facts.title);
    add("Game code:",
        windowText("%1 (%2), revision %3")
            .arg(facts.gameCode, regionName(facts.region))
            .arg(facts.revision));
    add("MD5:", QString::fromLatin1(facts.md5));
    add("Dump:", dumpText(facts));
    add("Game:", facts.tableFound ? facts.preset : windowText("no build string found"));
    add("File table:",
        facts.tableFound ? FileTable::addressText(facts.tableAddress) : windowText("unknown"));
    add("Boot chip:", Checksum::chipName(facts.checksums.chip));
    add("Checksum 1:", checksumWordText(facts.checksums, 0));
    add("Checksum 2:", checksumWordText(facts.checksums, 1));
    if (!facts.tableFound) {
        if (!facts.tableProblem.isEmpty())
            add("Problem:", facts.tableProblem);
        return lines;
    }
    add("Files:", windowText("%1, %2 compressed").arg(facts.files).arg(facts.compressedFiles));
    if (!facts.filesByCodec.isEmpty())
        add("Compression:", codecList(facts));
    const QString codec = codecText(facts.filesByCodec);
    if (!codec.isEmpty())
        add("Codec:", codec);
    for (const QString &warning : facts.warnings)
        add("Warning:", warning);
    if (!facts.tableProblem.isEmpty())
        add("Problem:", QString(facts.tableProblem).replace(QLatin1Char('\n'), QLatin1Char(' ')));
    return lines;
}

QJsonObject toJson(const Facts &facts)
{
    const auto orNull
        = [](bool present, const QJsonValue &value) { return present ? value : QJsonValue(); };
    return QJsonObject {
        {"byteOrder", RomByteOrder::name(facts.order)},
        {"size", double(facts.size)},
        {"title", facts.title},
        {"md5", QString::fromLatin1(facts.md5)},
        {"knownDump",
            orNull(
                facts.knownDump, QString::fromUtf8(facts.knownDump ? facts.knownDump->name : ""))},
        {"gameCode", facts.gameCode},
        {"region", regionName(facts.region)},
        {"revision", facts.revision},
        {"game", orNull(facts.tableFound, facts.preset)},
        {"tableAddress", orNull(facts.tableFound, FileTable::addressText(facts.tableAddress))},
        {"bootChip", orNull(facts.checksums.chip != 0, Checksum::chipName(facts.checksums.chip))},
        {"crc1", checksumJson(facts.checksums, 0)},
        {"crc2", checksumJson(facts.checksums, 1)},
        {"files", orNull(facts.tableFound, facts.files)},
        {"compressedFiles", orNull(facts.tableFound, facts.compressedFiles)},
        {"alreadyDecompressed", facts.alreadyDecompressed},
        {"tableProblem", orNull(!facts.tableProblem.isEmpty(), facts.tableProblem)},
        {"warnings", QJsonArray::fromStringList(facts.warnings)},
        {"codec", codecJson(facts)},
        {"codecs", codecCountsJson(facts)},
    };
}

QString regionName(QChar letter)
{
    switch (letter.toLatin1()) {
    case 'E':
        return QStringLiteral("North America");
    case 'J':
        return QStringLiteral("Japan");
    case 'P':
        return QStringLiteral("Europe");
    case 'C':
        return QStringLiteral("China");
    case 'D':
        return QStringLiteral("Germany");
    case 'F':
        return QStringLiteral("France");
    case 'U':
        return QStringLiteral("Australia");
    default:
        return QStringLiteral("unknown");
    }
}

} // namespace RomInfo
