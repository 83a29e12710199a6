#include "core/check/OvUpgradeAnswer.h"

#include "core/check/OvJsonNumber.h"

#include <QByteArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>
#include <QJsonValue>

namespace {

// "status" and "importanceLevel" are read as 32-bit numbers, signed or not; anything else
// gives the fallback.
qint64 wholeNumber(const QJsonValue &value, qint64 fallback)
{
    qint64 number = fallback;
    return OvJsonNumber::wholeNumber(value, -2147483648LL, 4294967295LL, &number) ? number
                                                                                  : fallback;
}

} // namespace

OvUpgradeAnswer OvUpgradeAnswer::failure(Error error, const QString &reason)
{
    OvUpgradeAnswer answer;
    answer.error = error;
    answer.errorString = reason;
    return answer;
}

OvUpgradeAnswer OvUpgradeAnswer::parse(const QByteArray &body)
{
    if (body.isEmpty())
        return failure(Error::EmptyBody, QStringLiteral("The answer is empty"));

    QJsonParseError parseError;
    const QJsonDocument doc = QJsonDocument::fromJson(body, &parseError);
    if (parseError.error != QJsonParseError::NoError)
        return failure(Error::NotJson,
                       QStringLiteral("The answer is not JSON: %1").arg(parseError.errorString()));
    if (!doc.isObject())
        return failure(Error::NotJson, QStringLiteral("The answer is not a JSON object"));
    const QJsonObject object = doc.object();

    if (!object.contains(QStringLiteral("status")))
        return failure(Error::NoStatus, QStringLiteral("The answer has no \"status\""));
    if (!object.contains(QStringLiteral("message")))
        return failure(Error::NoMessage, QStringLiteral("The answer has no \"message\""));

    OvUpgradeAnswer answer;
    answer.status = wholeNumber(object.value(QStringLiteral("status")), 0);
    answer.message = object.value(QStringLiteral("message")).toString();
    if (answer.status != 200) {
        answer.error = Error::NotSuccess;
        answer.errorString = QStringLiteral("The service answered status %1: %2")
                                 .arg(answer.status)
                                 .arg(answer.message);
        return answer;
    }

    const QJsonObject data = object.value(QStringLiteral("data")).toObject();
    if (data.isEmpty())
        return failure(Error::NoData, QStringLiteral("The answer offers no \"data\""));

    OvZentaUpdateInfo &record = answer.record;
    record.cdt = data.value(QStringLiteral("cdt")).toString();
    record.importanceLevel =
        static_cast<quint32>(wholeNumber(data.value(QStringLiteral("importanceLevel")), 2));
    record.description = data.value(QStringLiteral("description")).toString();
    record.version = data.value(QStringLiteral("version")).toString();
    record.url = data.value(QStringLiteral("url")).toString();
    record.signature = data.value(QStringLiteral("signature")).toString();
    return answer;
}
