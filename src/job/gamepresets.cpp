#include "gamepresets.h"

#include "filetable.h"

#include <QList>
#include <QStringList>

namespace GamePresets {

namespace {

constexpr Preset presets[] = {
    {"Other", 0},
    {nullptr, 0},
    {"Doubutsu no Mori (Animal Crossing)", 0x19D40},
    {nullptr, 0},
    {"Ocarina of Time NTSC 1.0 & 1.1", 0x7430},
    {"Ocarina of Time NTSC 1.2", 0x7960},
    {"Ocarina of Time PAL 1.0 & 1.1", 0x7950},
    {"Ocarina of Time GCN & Master Quest", 0x7170},
    {"Ocarina of Time Master Quest Debug PAL", 0x12F70},
    {nullptr, 0},
    {"Majora's Mask NTSC-U", 0x1A500},
    {"Majora's Mask NTSC-U Demo", 0x1AB50},
    {"Majora's Mask NTSC-J 1.0", 0x1C110},
    {"Majora's Mask NTSC-J 1.1", 0x1C050},
    {"Majora's Mask PAL 1.0", 0x1A650},
    {"Majora's Mask PAL 1.1", 0x1A8D0},
    {"Majora's Mask Debug PAL", 0x24F60},
};

} // namespace

int count()
{
    return int(sizeof presets / sizeof presets[0]);
}

const Preset &at(int index)
{
    return presets[index];
}

QString nameAt(int index)
{
    return presets[index].name ? QString::fromUtf8(presets[index].name) : QString();
}

int indexForAddress(qint32 address)
{
    for (int i = 1; i < count(); ++i) {
        if (presets[i].name && presets[i].fileTableAddress == address)
            return i;
    }
    return 0;
}

int indexForName(const QString &name, QString *error)
{
    if (name.trimmed().isEmpty()) {
        *error = QStringLiteral("no game named: give a game's name");
        return -1;
    }
    QList<int> matches;
    for (int i = 0; i < count(); ++i) {
        const QString candidate = nameAt(i);
        if (candidate.isEmpty())
            continue;
        if (candidate.compare(name, Qt::CaseInsensitive) == 0)
            return i;
        if (candidate.startsWith(name, Qt::CaseInsensitive))
            matches << i;
    }
    if (matches.size() == 1)
        return matches.first();
    if (matches.isEmpty()) {
        *error = QStringLiteral("no game is called \"%1\"").arg(name);
        return -1;
    }
    QStringList candidates;
    for (const int index : matches)
        candidates << QLatin1Char('"') + nameAt(index) + QLatin1Char('"');
    *error = QStringLiteral("\"%1\" could be any of %2")
                 .arg(name, candidates.join(QLatin1String(", ")));
    return -1;
}

Detection detect(const QByteArray &image)
{
    Detection detection;
    detection.found = FileTable::findAddress(image, &detection.address, &detection.buildStringAt);
    if (detection.found)
        detection.preset = indexForAddress(detection.address);
    return detection;
}

} // namespace GamePresets
