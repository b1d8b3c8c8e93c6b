#include "infocommand.h"

#include "console.h"
#include "romfile.h"
#include "rominfo.h"

#include <QCommandLineParser>
#include <QJsonArray>
#include <QJsonDocument>

#include <cstdio>

namespace {

const QCommandLineOption jsonOption {"json", "Print the facts as JSON."};

// The facts as labelled lines, with where the command line's options come in.
void printText(const QString &path, const RomInfo::Facts &facts)
{
    QStringList lines {path};
    for (RomInfo::Detail detail : RomInfo::details(facts)) {
        if (!facts.tableFound && detail.label == QLatin1String("File table:"))
            detail.value
                += QStringLiteral(": name the game with --game or the address with --table");
        lines << QStringLiteral("  %1 %2").arg(detail.label.leftJustified(15), detail.value);
    }
    Console::printLine(stdout, lines.join(QLatin1Char('\n')));
}

RomFile::Contents readRom(const QString &path)
{
    // Any length in big-endian order, as the jobs read them: a decompressed ROM that grew, or a
    // ROM cut off, is told as what it is rather than refused.
    const RomFile::Lengths lengths = RomFile::Lengths::AnyInBigEndian;
    if (path == QLatin1String("-"))
        return RomFile::readStandardInput(lengths);
    if (Console::isUnreadableName(path))
        return {QByteArray(), Console::unreadableNameText()};
    return RomFile::read(path, lengths);
}

} // namespace

InfoCommand::InfoCommand() : Command("info", "Say what each ROM is.") { }

QList<QCommandLineOption> InfoCommand::options() const
{
    return {jsonOption};
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
            QJsonObject object = RomInfo::toJson(facts);
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
