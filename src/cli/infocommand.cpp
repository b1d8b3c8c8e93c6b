#include "infocommand.h"

#include "checksum.h"
#include "console.h"
#include "filetable.h"
#include "romfile.h"
#include "rominfo.h"

#include <QCommandLineParser>
#include <QJsonArray>
#include <QJsonDocument>

#include <cstdio>

namespace {

const QCommandLineOption jsonOption {"json", "Print the facts as JSON."};

QString orderDescription(ByteOrder order)
{
    // In the order of the enumeration: NotRom, Z64, V64, N64.
    static const char *const kinds[] = {"", " (big endian)", " (byte-swapped)", " (little endian)"};
    return RomByteOrder::name(order) + QLatin1String(kinds[int(order)]);
}

QString hexWord(quint32 value)
{
    return FileTable::addressText(qint32(value));
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

QString checksumText(const HeaderChecksums::Report &report, int word)
{
    const QString stored = hexWord(report.stored[word]);
    if (!report.known)
        return stored + QStringLiteral(" (cannot be checked: unknown boot chip)");
    if (report.good(word))
        return stored + QStringLiteral(" (good)");
    return stored + QStringLiteral(" (bad: should be %1)").arg(hexWord(report.computed[word]));
}

void printText(const QString &path, const RomInfo::Facts &facts)
{
    QStringList lines {path};
    const auto add = [&lines](const char *label, const QString &value) {
        lines << QStringLiteral("  %1 %2").arg(QString::fromLatin1(label).leftJustified(15), value);
    };
    add("Byte order:", orderDescription(facts.order));
    add("Size:", QStringLiteral("%1 bytes").arg(facts.size));
    add("Title:", facts.title);
    add("Game code:",
        QStringLiteral("%1 (%2), revision %3")
            .arg(facts.gameCode, RomInfo::regionName(facts.region))
            .arg(facts.revision));
    add("MD5:", QString::fromLatin1(facts.md5));
    add("Dump:",
        facts.knownDump
            ? QStringLiteral("Known dump: %1").arg(QString::fromUtf8(facts.knownDump->name))
            : QStringLiteral("Not a known original dump (modified, a hack, or a bad dump)"));
    add("Game:", facts.tableFound ? facts.preset : QStringLiteral("no build string found"));
    add("File table:",
        facts.tableFound
            ? FileTable::addressText(facts.tableAddress)
            : QStringLiteral("unknown: name the game with --game or the address with --table"));
    add("Boot chip:", Checksum::chipName(facts.checksums.chip));
    add("Checksum 1:", checksumText(facts.checksums, 0));
    add("Checksum 2:", checksumText(facts.checksums, 1));
    if (facts.tableFound) {
        add("Files:",
            QStringLiteral("%1, %2 compressed").arg(facts.files).arg(facts.compressedFiles));
        const QString refusal = RomInfo::refusalForKnownDump(facts.knownDump);
        if (!refusal.isEmpty())
            add("Note:", refusal);
        for (const QString &warning : facts.warnings)
            add("Warning:", warning);
        if (!facts.tableProblem.isEmpty())
            add("Problem:",
                QString(facts.tableProblem).replace(QLatin1Char('\n'), QLatin1Char(' ')));
    }
    Console::printLine(stdout, lines.join(QLatin1Char('\n')));
}

RomFile::Contents readRom(const QString &path)
{
    if (path == QLatin1String("-"))
        return RomFile::readStandardInput();
    if (Console::isUnreadableName(path))
        return {QByteArray(), Console::unreadableNameText()};
    return RomFile::read(path);
}

} // namespace

InfoCommand::InfoCommand() : Command("info", "Say what each ROM is.") { }

QList<QCommandLineOption> InfoCommand::options() const
{
    return {jsonOption};
}

QJsonObject InfoCommand::toJson(const RomInfo::Facts &facts)
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
        {"region", RomInfo::regionName(facts.region)},
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
    };
}

int InfoCommand::run(const QCommandLineParser &parser, const QStringList &roms) const
{
    const bool json = parser.isSet(jsonOption);
    int status = Console::Success;
    QJsonArray objects;
    for (const QString &path : roms) {
        QString error;
        RomFile::Contents contents = readRom(path);
        RomInfo::Facts facts;
        if (contents.ok()) {
            facts = RomInfo::inspect(contents.bytes);
            contents.bytes = QByteArray();
        } else {
            error = contents.error;
        }
        if (!error.isEmpty()) {
            Console::printLine(stderr, Console::errorLine(path, error));
            status = Console::Failure;
            if (json)
                objects.append(QJsonObject {{"path", path}, {"error", error}});
            continue;
        }
        if (json) {
            QJsonObject object = toJson(facts);
            object.insert(QStringLiteral("path"), path);
            objects.append(object);
        } else {
            printText(path, facts);
        }
    }
    if (json)
        std::fputs(QJsonDocument(objects).toJson().constData(), stdout);
    return status;
}
