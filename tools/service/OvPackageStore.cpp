#include "tools/service/OvPackageStore.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace OvPackageStore {

bool isSafeFileName(const QString &name)
{
    if (name.isEmpty() || name == QLatin1String(".") || name == QLatin1String(".."))
        return false;
    if (name.toUtf8().size() > 255)
        return false;
    for (const QChar c : name) {
        if (c == QLatin1Char('/') || c == QLatin1Char('\\') || c.unicode() < 0x20 ||
            c.unicode() == 0x7f)
            return false;
    }
    return true;
}

QString resolve(const QString &dir, const QString &name)
{
    if (!isSafeFileName(name))
        return QString();
    const QString root = QFileInfo(dir).canonicalFilePath();
    if (root.isEmpty())
        return QString();
    const QFileInfo file(QDir(root).filePath(name));
    if (!file.isFile())
        return QString();
    // A link inside the folder may point anywhere; only what really lies inside is served.
    const QString target = file.canonicalFilePath();
    const QString prefix = root.endsWith(QLatin1Char('/')) ? root : root + QLatin1Char('/');
    return target.startsWith(prefix) ? target : QString();
}

QByteArray signatureOf(const QString &dir, const QString &name)
{
    // A .minisig file is a few hundred bytes; anything far larger is not one.
    constexpr qint64 kMaxSignatureBytes = 64 * 1024;
    QFile file(resolve(dir, name + QStringLiteral(".minisig")));
    if (file.fileName().isEmpty() || file.size() > kMaxSignatureBytes ||
        !file.open(QIODevice::ReadOnly))
        return QByteArray();
    return file.readAll();
}

QString contentType(const QString &name)
{
    return name.endsWith(QLatin1String(".zip"), Qt::CaseInsensitive)
               ? QStringLiteral("application/zip")
               : QStringLiteral("application/octet-stream");
}

} // namespace OvPackageStore
