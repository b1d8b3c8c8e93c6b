#ifndef INFOCOMMAND_H
#define INFOCOMMAND_H

#include <QJsonObject>
#include <QStringList>

namespace RomInfo {
struct Facts;
}

// tidepool-cli info: what each ROM is, as text or as a JSON array with one object per ROM.
namespace InfoCommand {

// Returns 0 when every ROM could be read, 1 otherwise.
int run(const QStringList &roms, bool json);

QJsonObject toJson(const RomInfo::Facts &facts);

} // namespace InfoCommand

#endif // INFOCOMMAND_H
