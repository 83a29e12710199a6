#include "tools/service/OvUpgradeProtocol.h"

#include "core/check/OvJsonNumber.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>
#include <QJsonValue>
#include <QRegularExpression>
#include <QUrl>

#include <limits>

namespace OvUpgradeProtocol {

bool parseQuery(const QByteArray &body, OvUpgradeQuery *query, QString *error)
{
    QJsonParseError parseError;
    const QJsonDocument doc = QJsonDocument::fromJson(body, &parseError);
    if (parseError.error != QJsonParseError::NoError) {
        *error = QStringLiteral("body is not JSON: ") + parseError.errorString();
        return false;
    }
    if (!doc.isObject()) {
        *error = QStringLiteral("body is not a JSON object");
        return false;
    }
    const QJsonObject object = doc.object();
    if (!object.contains(QStringLiteral("key"))) {
        *error = QStringLiteral("\"key\" is missing");
        return false;
    }
    qint64 key = 0;
    if (!OvJsonNumber::wholeNumber(object.value(QStringLiteral("key")),
                                   std::numeric_limits<qint32>::min(),
                                   std::numeric_limits<qint32>::max(), &key)) {
        *error = QStringLiteral("\"key\" is not a 32-bit integer");
        return false;
    }
    const QJsonValue code = object.value(QStringLiteral("code"));
    if (!code.isUndefined() && !code.isString()) {
        *error = QStringLiteral("\"code\" is not a string");
        return false;
    }
    query->key = static_cast<qint32>(key);
    query->code = code.toString();
    return true;
}

QByteArray answer(const OvRelease &release, const QString &packageUrl, const QByteArray &signature)
{
    QJsonObject data{{QStringLiteral("version"), release.version},
                     {QStringLiteral("url"), packageUrl},
                     {QStringLiteral("description"), release.description},
                     {QStringLiteral("cdt"), release.cdt},
                     {QStringLiteral("importanceLevel"), release.importanceLevel}};
    if (!signature.isEmpty())
        data.insert(QStringLiteral("signature"), QString::fromLatin1(signature.toBase64()));
    const QJsonObject envelope{{QStringLiteral("status"), 200},
                               {QStringLiteral("message"), QStringLiteral("ok")},
                               {QStringLiteral("data"), data}};
    return QJsonDocument(envelope).toJson(QJsonDocument::Compact);
}

QByteArray failure(int status, const QString &message)
{
    const QJsonObject envelope{{QStringLiteral("status"), status},
                               {QStringLiteral("message"), message}};
    return QJsonDocument(envelope).toJson(QJsonDocument::Compact);
}

bool isAbsoluteUrl(const QString &package)
{
    const QUrl url(package, QUrl::StrictMode);
    const QString scheme = url.scheme();
    return url.isValid() && !url.host().isEmpty() &&
           (scheme == QLatin1String("http") || scheme == QLatin1String("https"));
}

QString packageUrl(const QString &baseUrl, const QString &package)
{
    if (isAbsoluteUrl(package))
        return package;
    QString base = baseUrl;
    while (base.endsWith(QLatin1Char('/')))
        base.chop(1);
    return base + QStringLiteral("/packages/") +
           QString::fromLatin1(QUrl::toPercentEncoding(package));
}

bool isUsableHost(const QString &host)
{
    static const QRegularExpression pattern(
        QStringLiteral("^(\\[[0-9A-Fa-f:.]+\\]|[A-Za-z0-9.-]+)(:[0-9]{1,5})?$"));
    return pattern.match(host).hasMatch();
}

QString logSafe(const QByteArray &text)
{
    QString safe;
    safe.reserve(text.size());
    for (const char byte : text) {
        const uchar c = static_cast<uchar>(byte);
        if (c > 0x20 && c < 0x7f && c != '\\')
            safe += QLatin1Char(byte);
        else
            safe += QStringLiteral("\\x%1").arg(c, 2, 16, QLatin1Char('0'));
    }
    return safe;
}

} // namespace OvUpgradeProtocol
