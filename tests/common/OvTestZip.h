#ifndef OVTESTZIP_H
#define OVTESTZIP_H

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>

namespace OvTestZip {

// Writes a deflated zip archive with the given (name, content) entries, in order. A name
// ending with "/" is written as a directory entry. Returns false when minizip fails.
bool write(const QString &path, const QList<QPair<QString, QByteArray>> &entries);

} // namespace OvTestZip

#endif // OVTESTZIP_H
