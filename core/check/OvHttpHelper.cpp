#include "core/check/OvHttpHelper.h"

#include <QDebug>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>
#include <QJsonValue>
#include <QNetworkReply>
#include <QSslError>
#include <QTimer>
#include <QUrl>

namespace {

constexpr int kCheckTimeoutMs = 3000;

// JSON numbers are doubles; only a whole number within 32 bits counts, anything else (a
// fraction, a string, 1e300) gives the fallback.
qint64 wholeNumber(const QJsonValue &value, qint64 fallback)
{
    if (!value.isDouble())
        return fallback;
    const double d = value.toDouble();
    if (!(d >= -2147483648.0 && d <= 4294967295.0))
        return fallback;
    const qint64 i = static_cast<qint64>(d);
    return static_cast<double>(i) == d ? i : fallback;
}

} // namespace

OvHttpHelper::OvHttpHelper(QObject *parent) : QObject(parent)
{
    request.setHeader(QNetworkRequest::ContentTypeHeader,
                      QStringLiteral("application/json;charset=UTF-8"));
    request.setRawHeader("Cache-Control", "no-cache");
    connect(&manager, SIGNAL(finished(QNetworkReply *)), this,
            SLOT(onUpgradeReplyFinished(QNetworkReply *)));
}

void OvHttpHelper::requestUpgradeTip(qint32 key, const QString &code, const QString &url)
{
    record.clear();
    address = url;
    this->key = key;

    QJsonObject query;
    if (!code.isEmpty())
        query.insert(QStringLiteral("code"), code);
    query.insert(QStringLiteral("key"), key);

    request.setUrl(QUrl(address, QUrl::TolerantMode));
    currentReply = manager.post(request, QJsonDocument(query).toJson(QJsonDocument::Compact));
    connect(currentReply, SIGNAL(sslErrors(QList<QSslError>)), this,
            SLOT(onSslErrors(QList<QSslError>)));

    isInFlight = true;
    isTimedOut = false;

    if (!timeoutTimer) {
        timeoutTimer = new QTimer(this);
        timeoutTimer->setSingleShot(true);
        connect(timeoutTimer, SIGNAL(timeout()), this, SLOT(onCheckTimeout()));
    }
    timeoutTimer->start(kCheckTimeoutMs);
}

void OvHttpHelper::onCheckTimeout()
{
    if (!isInFlight) {
        // The answer came first; the shot only clears the flag.
        isTimedOut = false;
        return;
    }
    isTimedOut = true;
    if (currentReply) {
        // abort() finishes the reply synchronously, so the finish handler reports the
        // time-out before we get back here.
        currentReply->abort();
        currentReply->deleteLater();
    }
    qDebug() << "OvHttpHelper::onCheckTimeout";
}

void OvHttpHelper::onSslErrors(const QList<QSslError> &onSslErrors)
{
    for (const QSslError &error : onSslErrors)
        qDebug() << "SSL error: " << error.errorString();
}

void OvHttpHelper::onUpgradeReplyFinished(QNetworkReply *pReply)
{
    isInFlight = false;

    if (isTimedOut) {
        qDebug() << "OvHttpHelper::onUpgradeReplyFinished" << isTimedOut;
        emit sigDownloadFailed(tr("MsgRequestTimeout"));
        return;
    }
    if (!pReply)
        return;

    if (pReply->error() != QNetworkReply::NoError) {
        const QString errorText = pReply->errorString();
        qDebug() << "OvHttpHelper::onUpgradeReplyFinished reply error "
                 << pReply->url().toString(QUrl::FullyEncoded) << errorText;
        pReply->deleteLater();
        emit sigDownloadFailed(errorText);
        return;
    }

    const QByteArray body = pReply->readAll();
    if (!body.isEmpty()) {
        if (!parseUpgradeReply(body))
            emit sigDownloadFailed(QString());
        pReply->deleteLater();
        return;
    }

    qDebug() << "OvHttpHelper::onUpgradeReplyFinished reply content empty ";
    pReply->deleteLater();
    emit sigDownloadFailed(QString());
}

bool OvHttpHelper::parseUpgradeReply(const QByteArray &body)
{
    QJsonParseError parseError;
    const QJsonDocument doc = QJsonDocument::fromJson(body, &parseError);
    if (doc.isNull() || parseError.error != QJsonParseError::NoError || !doc.isObject())
        return false;
    const QJsonObject answer = doc.object();

    if (!answer.contains(QStringLiteral("status")))
        return false;
    const qint64 status = wholeNumber(answer.value(QStringLiteral("status")), 0);

    if (!answer.contains(QStringLiteral("message")))
        return false;
    const QString message = answer.value(QStringLiteral("message")).toString();

    if (status != 200) {
        qDebug() << "Corvane Server Reply not success:" << status << message;
        return false;
    }

    if (!answer.contains(QStringLiteral("data")))
        return false;
    const QJsonObject data = answer.value(QStringLiteral("data")).toObject();
    if (data.isEmpty())
        return false;

    record.cdt = data.value(QStringLiteral("cdt")).toString();
    const qint64 level = wholeNumber(data.value(QStringLiteral("importanceLevel")), 2);
    record.importanceLevel = static_cast<quint32>(level);
    record.description = data.value(QStringLiteral("description")).toString();
    record.version = data.value(QStringLiteral("version")).toString();
    record.url = data.value(QStringLiteral("url")).toString();

    emit sigZentaUpgradeTipDownloaded(record);
    return true;
}
