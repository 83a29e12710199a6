#include "gui/app/OvLanguageSetting.h"

#include <QCoreApplication>
#include <QDebug>
#include <QDomDocument>
#include <QDomElement>
#include <QFile>
#include <QLocale>

namespace OvLanguageSetting {

QString filePath(const QString &applicationDir)
{
    return QStringLiteral("%1/sysconfig-language.xml")
        .arg(applicationDir + QStringLiteral("/config"));
}

QString readFrom(const QString &path)
{
    if (!QFile::exists(path)) {
        qWarning() << "The file{" << path << "} doesn't exist!";
        return QLocale::system().name();
    }

    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        qWarning() << "Couldn't open load file.";
        return QLocale::system().name();
    }

    QDomDocument doc;
    if (!doc.setContent(&file, false))
        return QLocale::system().name();

    QString language;
    const QDomElement ctrl = doc.documentElement().firstChildElement(QStringLiteral("ctrl"));
    if (!ctrl.isNull()) {
        if (ctrl.attribute(QStringLiteral("isset")) == QLatin1String("1"))
            language = ctrl.attribute(QStringLiteral("language"));
        else
            language = QLocale::system().name();
    }
    file.close();
    return language;
}

} // namespace OvLanguageSetting

QString loadLanguageSetting()
{
    return OvLanguageSetting::readFrom(
        OvLanguageSetting::filePath(QCoreApplication::applicationDirPath()));
}
