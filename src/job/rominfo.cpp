#include "rominfo.h"

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
        if (file.physicalEnd != FileTable::uncompressedFile
            && file.physicalEnd != FileTable::absentFile)
            ++facts.compressedFiles;
    }
    facts.alreadyDecompressed = facts.files > 0 && facts.compressedFiles == 0;
    facts.tableProblem
        = PassPlan::refusal(rom, DecompressionPass::outputImageSize, facts.tableAddress, files);
}

} // namespace

Facts inspect(QByteArray rom)
{
    Facts facts;
    facts.size = rom.size();
    facts.order = RomJob::toBigEndian(rom);
    if (facts.order == ByteOrder::NotRom)
        return facts;
    facts.title = headerText(rom, titleOffset, titleLength);
    facts.gameCode = headerText(rom, gameCodeOffset, gameCodeLength);
    if (!facts.gameCode.isEmpty())
        facts.region = facts.gameCode.back();
    facts.revision = uchar(rom.at(revisionOffset));
    const GamePresets::Detection detection = GamePresets::detect(rom);
    facts.tableFound = detection.found;
    facts.tableAddress = detection.address;
    facts.preset = GamePresets::nameAt(detection.preset);
    facts.checksums = HeaderChecksums::inspect(rom);
    if (facts.tableFound)
        readTable(rom, facts);
    return facts;
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
