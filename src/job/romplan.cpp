#include "romplan.h"

#include "planchecks.h"
#include "windowtext.h"

#include "entrytext.h"
#include "gamepresets.h"

#include <QLocale>
#include <QMap>

#include <algorithm>
#include <memory>

namespace RomPlan {

namespace {

// No ROM of these games is shorter; a shorter one that shows no build string is most likely cut
// off before it.
constexpr qint64 shortestRom = 1 << 20;

QString byteCount(qint64 bytes)
{
    // Grouped digits whatever the user's locale, so that the numbers read the same everywhere.
    return QLocale(QLocale::English).toString(bytes);
}

QString noTableText(const QByteArray &rom)
{
    if (rom.size() >= shortestRom)
        return windowText("No file table found");
    return windowText("No file table found in the %1 bytes of the ROM, which looks cut off")
        .arg(byteCount(rom.size()));
}

// A refused plan keeps no files: a refused list can be long.
void refuse(Plan &plan, const Refusal &refusal)
{
    plan.refusal = refusal;
    plan.files = QVector<FileRecord>();
}

// The codec most of the plan's compressed files are stored with.
Codec mostUsedCodec(const Plan &plan)
{
    const QMap<Codec, int> counts = filesByCodec(plan.files, plan.codecs);
    Codec most = Codec::Yaz0;
    for (auto it = counts.cbegin(); it != counts.cend(); ++it) {
        if (it.value() > counts.value(most))
            most = it.key();
    }
    return most;
}

bool searchTable(
    Plan &plan, const QByteArray &rom, const TableChoice &choice, const KnownDumpLookup &knownDump)
{
    const Checks::TableSearch search = Checks::findTable(rom, choice, knownDump);
    plan.address = search.address;
    plan.knownDump = search.knownDump;
    plan.addressNeeded = search.addressNeeded;
    plan.refusal = search.refusal;
    if (!plan.ok())
        return false;
    plan.files = FileTable::read(rom, plan.address);
    return true;
}

} // namespace

namespace Checks {

TableSearch findTable(
    const QByteArray &rom, const TableChoice &choice, const KnownDumpLookup &knownDump)
{
    TableSearch search;
    search.address = choice.address;
    const GamePresets::Detection detection = GamePresets::detect(rom);
    const bool trusted
        = detection.found && FileTable::startsWithExpectedEntry(rom, detection.address);
    search.addressNeeded = !trusted;
    if (!choice.addressGiven) {
        search.address = detection.address;
        const KnownDumps::Dump *known = trusted || !knownDump ? nullptr : knownDump();
        if (known) {
            search.address = known->tableAddress;
            search.knownDump = QString::fromUtf8(known->name);
        } else if (!detection.found) {
            search.refusal = Refusal::of(Refusal::Kind::NoTableFound, noTableText(rom));
            return search;
        }
    }
    const QString outside = addressProblem(rom, search.address);
    if (!outside.isEmpty()) {
        search.refusal = Refusal::of(Refusal::Kind::Table, outside);
        return search;
    }
    if (choice.checkFirstEntry && !FileTable::startsWithExpectedEntry(rom, search.address)) {
        const QString warning = QString::fromLatin1(firstEntryWarning);
        // The warning's question is the window's; as a statement it ends before it.
        const QString statement
            = warning.left(warning.lastIndexOf(QLatin1Char('\n'))).replace(QLatin1Char('\n'), ' ');
        search.refusal = Refusal::of(Refusal::Kind::FirstEntry, statement);
    }
    return search;
}

QString addressProblem(const QByteArray &rom, qint32 address)
{
    if (address < rom.size())
        return QString();
    return windowText("The file table address %1 lies past the end of the ROM, which is %2 bytes "
                      "long.")
        .arg(FileTable::addressText(address))
        .arg(rom.size());
}

QString tableCutOffText(const QByteArray &rom, qint32 address, int entries)
{
    const QString left
        = entries == 1 ? windowText("1 entry") : windowText("%1 entries").arg(entries);
    return windowText("The file table at %1 runs to the end of the ROM, which is %2 bytes long, "
                      "without its end mark: the ROM is cut off inside its table, after %3")
        .arg(FileTable::addressText(address), byteCount(rom.size()), left);
}

} // namespace Checks

const char firstEntryWarning[]
    = "The File Table does not start with 00000000 00001060 00000000 00000000.\n"
      "This usually indicates that the specified address isn't the start of a file table.\n"
      "Are you sure that you want to continue?";

KnownDumpLookup lookUpOnce(const QByteArray &rom, KnownDumps::Table table)
{
    struct Answer
    {
        bool looked = false;
        const KnownDumps::Dump *dump = nullptr;
    };
    auto answer = std::make_shared<Answer>();
    const QByteArray *image = &rom;
    return [answer, image, table] {
        if (!answer->looked)
            answer->dump = KnownDumps::find(KnownDumps::md5Of(*image), table);
        answer->looked = true;
        return answer->dump;
    };
}

KnownDumpLookup answered(const KnownDumps::Dump *dump)
{
    return [dump] { return dump; };
}

Plan prepare(const QByteArray &rom, const TableChoice &choice, const KnownDumpLookup &knownDump,
    const Options &options)
{
    Plan plan;
    if (!searchTable(plan, rom, choice, knownDump))
        return plan;
    const Checks::CodecFinding codec = Checks::codecOf(rom, plan.files, knownDump);
    plan.codecs = codec.codecs;
    const Refusal refusal
        = Checks::passRefusal(rom, options.outputSize, plan.address, plan.files, codec);
    if (refusal.refused()) {
        refuse(plan, refusal);
        return plan;
    }
    plan.warnings
        = Checks::passWarnings(rom, plan.address, plan.files, plan.codecs, options.walkStreams);
    return plan;
}

QMap<Codec, int> filesByCodec(
    const QVector<FileRecord> &files, const DecompressionPass::FileCodecs &codecs)
{
    QMap<Codec, int> counts;
    for (int position = 0; position < files.size(); ++position) {
        if (FileTable::isCompressed(files.at(position)))
            ++counts[codecs.of(position)];
    }
    return counts;
}

bool isListed(const QVector<IndexRange> &ranges, int index)
{
    return std::any_of(ranges.cbegin(), ranges.cend(),
        [index](const IndexRange &range) { return range.first <= index && index <= range.last; });
}

CompressionPlan prepareCompression(
    const QByteArray &rom, const TableChoice &choice, const Layout &layout)
{
    CompressionPlan plan;
    plan.likeOriginal = layout.likeOriginal;
    plan.codecGiven = layout.codecGiven;
    plan.codec = layout.codec;
    plan.targetSize = layout.targetSize;
    // A decompressed ROM is no known dump: it is not hashed.
    if (!searchTable(plan.rom, rom, choice, KnownDumpLookup())) {
        plan.refusal = plan.rom.refusal;
        return plan;
    }
    const Refusal romRefusal = Checks::romRefusal(rom, plan.rom.address, plan.rom.files);
    if (romRefusal.refused()) {
        refuse(plan.rom, romRefusal);
        plan.refusal = romRefusal;
        return plan;
    }
    plan.tableEntry = FileTable::entryHolding(plan.rom.files, plan.rom.address);
    // Decompressing the result finds its table by the build string, unless the ROM needed the
    // address it was given.
    if (choice.addressGiven && plan.rom.addressNeeded)
        plan.resultTable = TableChoice::at(choice.address, true);
    if (layout.likeOriginal)
        return layout.original ? withOriginal(plan, *layout.original, layout.originalName) : plan;
    plan.compressedFiles = layout.compressedFiles;
    Checks::KeptEntries kept;
    kept.table = plan.tableEntry;
    if (!plan.resultTable.addressGiven) {
        kept.buildString
            = FileTable::entryHolding(plan.rom.files, GamePresets::detect(rom).buildStringAt);
    }
    plan.refusal
        = Checks::rangesRefusal(plan.compressedFiles, plan.rom.files, plan.rom.address, kept);
    return plan;
}

CompressionPlan withOriginal(
    CompressionPlan plan, const QByteArray &original, const QString &originalName)
{
    if (!plan.ok() || !plan.likeOriginal)
        return plan;
    plan.originalGiven = true;
    Plan &layout = plan.original;
    layout.address = plan.rom.address;
    layout.files = FileTable::read(original, layout.address);
    layout.codecs = Checks::codecOf(original, layout.files, KnownDumpLookup()).codecs;
    const Refusal refusal = Checks::originalRefusal(original, layout.address, layout.files,
        layout.codecs, plan.rom.files.at(plan.tableEntry), originalName);
    if (refusal.refused()) {
        refuse(layout, refusal);
        plan.refusal = refusal;
        return plan;
    }
    layout.warnings = Checks::originalWarnings(original, layout.files, originalName);
    plan.warnings = layout.warnings;
    plan.newFileCodec = mostUsedCodec(layout);
    return plan;
}

Codec writtenCodec(const CompressionPlan &plan, int position)
{
    if (plan.codecGiven || !plan.likeOriginal)
        return plan.codec;
    const QVector<FileRecord> &files = plan.original.files;
    if (position < files.size() && FileTable::isCompressed(files.at(position)))
        return plan.original.codecs.of(position);
    return plan.newFileCodec;
}

QStringList cutShortWarnings(
    const QVector<DecompressionPass::CutShortFile> &cutShort, qint32 tableAddress)
{
    constexpr int named = 3;
    QStringList found;
    for (int i = 0; i < cutShort.size() && i < named; ++i) {
        found << windowText("%1 is a Yaz0 file whose data ends %2 bytes before its declared size "
                            "(it decompresses with zeros there)")
                     .arg(EntryText::name(cutShort.at(i).index, tableAddress))
                     .arg(cutShort.at(i).missing);
    }
    if (cutShort.size() > named) {
        found << windowText("%1 more Yaz0 files end before their declared sizes")
                     .arg(cutShort.size() - named);
    }
    return found;
}

QString alreadyDecompressedText()
{
    return windowText("This ROM is already decompressed");
}

} // namespace RomPlan
