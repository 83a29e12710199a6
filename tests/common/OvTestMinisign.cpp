#include "common/OvTestMinisign.h"

#include "common/OvTestSupport.h"

#include <QDir>
#include <QProcess>

namespace {

bool runMinisign(const QStringList &args)
{
    QProcess minisign;
    minisign.setStandardInputFile(QProcess::nullDevice()); // never waits for a password
    minisign.start(QStringLiteral("minisign"), args);
    return minisign.waitForFinished(30000) && minisign.exitStatus() == QProcess::NormalExit &&
           minisign.exitCode() == 0;
}

} // namespace

namespace OvTestMinisign {

QByteArray makeKey(const QString &dir, const QString &name)
{
    const QString base = QDir(dir).filePath(name);
    if (!runMinisign({"-G", "-W", "-f", "-p", base + ".pub", "-s", base + ".key"}))
        return {};
    return OvTestSupport::readFile(base + ".pub").split('\n').value(1);
}

QByteArray sign(const QString &dir, const QString &name, const QString &file,
                const QString &trustedComment, const QStringList &extra)
{
    const QString signature = file + ".minisig";
    const QString key = QDir(dir).filePath(name) + ".key";
    if (!runMinisign(
            QStringList{"-S", "-s", key, "-m", file, "-x", signature, "-t", trustedComment} +
            extra))
        return {};
    return OvTestSupport::readFile(signature);
}

} // namespace OvTestMinisign
