#include "core/check/OvHttpHelper.h"

#include "core/download/OvProxyFactory.h"

#include <QDebug>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkReply>
#include <QSslError>
#include <QTimer>
#include <QUrl>

namespace {

constexpr int kCheckTimeoutMs = 3000;
// A query answer is a few hundred bytes; a server that sends more is not answering the query.
constexpr qint64 kMaxAnswerBytes = 1024 * 1024;

} // namespace

OvHttpHelper::OvHttpHelper(QObject *parent) : QObject(parent), proxyFactory(new OvProxyFactory)
{
    manager.setProxyFactory(proxyFactory);
    request.setHeader(QNetworkRequest::ContentTypeHeader,
                      QStringLiteral("application/json;charset=UTF-8"));
    request.setRawHeader("Cache-Control", "no-cache");
    connect(&manager, SIGNAL(finished(QNetworkReply *)), this,
            SLOT(onUpgradeReplyFinished(QNetworkReply *)));
}

void OvHttpHelper::requestUpgradeTip(qint32 key, const QString &code, const QString &url)
{
    record.clear();
    lastAnswer = OvUpgradeAnswer();
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
    QNetworkReply *reply = currentReply;
    connect(reply, &QNetworkReply::downloadProgress, this,
            [this, reply](qint64 received, qint64 total) {
                isTooLarge = received > kMaxAnswerBytes || total > kMaxAnswerBytes;
                // Ends the reply at once, through the finish handler; an answer that came
                // whole in one go is caught there.
                if (isTooLarge && !reply->isFinished())
                    reply->abort();
            });

    isInFlight = true;
    isTimedOut = false;
    isTooLarge = false;

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
        lastAnswer =
            OvUpgradeAnswer::failure(OvUpgradeAnswer::Error::TimedOut,
                                     QStringLiteral("No answer within %1 ms").arg(kCheckTimeoutMs));
        emit sigDownloadFailed(tr("MsgRequestTimeout"));
        return;
    }
    if (!pReply)
        return;

    if (isTooLarge || pReply->bytesAvailable() > kMaxAnswerBytes) {
        pReply->deleteLater();
        lastAnswer = OvUpgradeAnswer::failure(
            OvUpgradeAnswer::Error::TooLarge,
            QStringLiteral("Answer longer than %1 bytes").arg(kMaxAnswerBytes));
        qDebug() << "OvHttpHelper::onUpgradeReplyFinished " << lastAnswer.errorString;
        emit sigDownloadFailed(lastAnswer.errorString);
        return;
    }
    if (pReply->error() != QNetworkReply::NoError) {
        const QString errorText = pReply->errorString();
        qDebug() << "OvHttpHelper::onUpgradeReplyFinished reply error "
                 << pReply->url().toString(QUrl::FullyEncoded) << errorText;
        const QString proxy = proxyFactory->describe(pReply->url());
        if (proxy != QLatin1String("none"))
            qDebug() << "Through proxy " << proxy;
        pReply->deleteLater();
        lastAnswer = OvUpgradeAnswer::failure(OvUpgradeAnswer::Error::Network, errorText);
        emit sigDownloadFailed(errorText);
        return;
    }

    const QByteArray body = pReply->readAll();
    pReply->deleteLater();
    lastAnswer = OvUpgradeAnswer::parse(body);
    switch (lastAnswer.error) {
    case OvUpgradeAnswer::Error::None:
        record = lastAnswer.record;
        emit sigZentaUpgradeTipDownloaded(record);
        return;
    case OvUpgradeAnswer::Error::EmptyBody:
        qDebug() << "OvHttpHelper::onUpgradeReplyFinished reply content empty ";
        break;
    case OvUpgradeAnswer::Error::NotSuccess:
        qDebug() << "Corvane Server Reply not success:" << lastAnswer.status << lastAnswer.message;
        break;
    default:
        break;
    }
    // The failure signal carries no text for an answer that was read but offers nothing; the
    // reason is kept in errorString().
    emit sigDownloadFailed(QString());
}
