#ifndef YAZ0RULE_H
#define YAZ0RULE_H

#include <QByteArray>

// The matching Yaz0 encoder's rule written out as plainly as it is stated, searching the whole
// window at every position: slow, and there only to check the program's fast encoder against.
namespace Yaz0Rule {

QByteArray encodeStream(const QByteArray &data);

} // namespace Yaz0Rule

#endif // YAZ0RULE_H
