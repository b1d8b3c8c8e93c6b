#include "rominfo.h"

#include "windowtext.h"

#include "checksum.h"
#include "decompressionpass.h"
#include "filetable.h"
#include "gamepresets.h"
#include "passplan.h"
#include "romjob.h"

namespace RomInfo {

namespace {

constexpr int titleOffset = 0x20;
constexpr int titleLength = 0x14;
constexpr int gameCodeOffset = 0x3B;
constexpr int gameCodeLength = 4;
constexpr int revisionOffset = 0x3F;

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

QString headerText(const QByteArray &rom, int offset, int length)
{
    QByteArray bytes = rom.mid(offset, length);
    const int zero = bytes.indexOf('\0');
    if (zero >= 0)
        bytes.truncate(zero);
    return QString::fromLatin1(bytes).trimmed();
}

void readTable(const QByteArray &rom, Facts &facts)
{
    const QVector<FileRecord> files = FileTable::read(rom, facts.tableAddress);
    facts.files = files.size();
    for (const FileRecord &file : files) {
        if (FileTable::isCompressed(file))
            ++facts.compressedFiles;
    }
    facts.alreadyDecompressed = facts.files > 0 && facts.compressedFiles == 0;
    facts.tableProblem
        = PassPlan::refusal(rom, DecompressionPass::outputImageSize, facts.tableAddress, files);
    if (facts.tableProblem.isEmpty())
        facts.warnings = PassPlan::warnings(rom, files);
}

} // namespace

Facts inspect(QByteArray rom, KnownDumps::Table knownDumps)
{
    const qint64 size = rom.size();
    const ByteOrder order = RomJob::toBigEndian(rom);
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
    if (RomByteOrder::classify(rom) != ByteOrder::Z64)
        return facts;
    facts.title = headerText(rom, titleOffset, titleLength);
    facts.gameCode = headerText(rom, gameCodeOffset, gameCodeLength);
    if (!facts.gameCode.isEmpty())
        facts.region = facts.gameCode.back();
    facts.revision = uchar(rom.at(revisionOffset));
    facts.md5 = KnownDumps::md5Of(rom);
    facts.knownDump = KnownDumps::find(facts.md5, knownDumps);
    const GamePresets::Detection detection = GamePresets::detect(rom);
    facts.buildStringFound = detection.found;
    facts.buildStringAddress = detection.address;
    facts.tableFound = detection.found || facts.knownDump;
    facts.tableAddress = facts.knownDump ? facts.knownDump->tableAddress : detection.address;
    facts.preset = GamePresets::nameAt(GamePresets::indexForAddress(facts.tableAddress));
    facts.checksums = HeaderChecksums::inspect(rom);
    if (facts.tableFound)
        readTable(rom, facts);
    return facts;
}

QString refusalForKnownDump(const KnownDumps::Dump *dump)
{
    if (!dump || dump->compression == KnownDumps::Compression::Yaz0)
        return QString();
    return windowText(
        "This ROM is %1. Its files are compressed with DEFLATE, not Yaz0, so Tidepool "
        "cannot decompress it.")
        .arg(QString::fromUtf8(dump->name));
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
    lines << (facts.knownDump
            ? windowText("Known dump: %1").arg(QString::fromUtf8(facts.knownDump->name))
            : windowText("Not a known original dump (modified, a hack, or a bad dump)"));
    lines << checksumSummary(facts.checksums);
    if (!facts.tableFound) {
        lines << windowText("No file table found: choose the game or type the table's address.");
        return lines;
    }
    lines << windowText("File table at %1: %2 files, %3 compressed")
                 .arg(FileTable::addressText(facts.tableAddress))
                 .arg(facts.files)
                 .arg(facts.compressedFiles);
    const QString refusal = refusalForKnownDump(facts.knownDump);
    if (!refusal.isEmpty())
        lines << refusal;
    else if (!facts.tableProblem.isEmpty())
        lines << facts.tableProblem.section(QLatin1Char('\n'), 0, 0);
    else
        lines << facts.warnings;
    return lines;
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
