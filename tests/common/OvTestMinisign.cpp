#include "common/OvTestMinisign.h"

#include "common/OvTestSupport.h"

#include <QDir>
#include <QProcess>

namespace {

bool runMinisign(const QStringList &args)
{
    QProcess minisign;
    minisign.setStandardInputFile(QProcess::nullDevice()); // never waits for a password
    minisign.start("minisign", args);
    return minisign.waitForFinished(30000) && minisign.exitStatus() == QProcess::NormalExit &&
           minisign.exitCode() == 0;
}

} // namespace

QByteArray OvTestMinisign::makeKey(const QString &dir, const QString &name)
{
    const QString base = QDir(dir).filePath(name);
    return runMinisign({"-G", "-W", "-f", "-p", base + ".pub", "-s", base + ".key"})
               ? OvTestSupport::readFile(base + ".pub").split('\n').value(1)
               : QByteArray();
}

QByteArray OvTestMinisign::sign(const QString &dir, const QString &name, const QString &file,
                                const QString &trustedComment, const QStringList &extra)
{
    const QString key = QDir(dir).filePath(name) + ".key", signature = file + ".minisig";
    return runMinisign(
               QStringList{"-S", "-s", key, "-m", file, "-x", signature, "-t", trustedComment} +
               extra)
               ? OvTestSupport::readFile(signature)
               : QByteArray();
}
