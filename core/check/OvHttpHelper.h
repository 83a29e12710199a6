#ifndef OVHTTPHELPER_H
#define OVHTTPHELPER_H

#include "core/check/OvUpgradeAnswer.h"
#include "core/check/OvZentaUpdateInfo.h"

#include <QList>
#include <QNetworkAccessManager>
#include <QNetworkRequest>
#include <QObject>

class OvProxyFactory;
class QNetworkReply;
class QSslError;
class QTimer;

// Asks the upgrade query service whether a newer version exists: one JSON POST, answered
// within three seconds by exactly one of the two signals.
class OvHttpHelper : public QObject
{
    Q_OBJECT

public:
    explicit OvHttpHelper(QObject *parent = nullptr);

    // Posts a query; "code" is sent only when not empty.
    void requestUpgradeTip(qint32 key, const QString &code, const QString &url);

    // Why the last query offered nothing (None after an offer or while one is in flight).
    OvUpgradeAnswer::Error error() const { return lastAnswer.error; }
    QString errorString() const { return lastAnswer.errorString; }

signals:
    void sigDownloadFailed(const QString &errStr);
    void sigZentaUpgradeTipDownloaded(const OvZentaUpdateInfo &info);

private slots:
    void onUpgradeReplyFinished(QNetworkReply *pReply);
    void onSslErrors(const QList<QSslError> &onSslErrors);
    void onCheckTimeout();

private:
    QNetworkAccessManager manager;
    QNetworkRequest request;
    QString address;
    qint32 key = -1;
    OvZentaUpdateInfo record;
    OvUpgradeAnswer lastAnswer;
    QTimer *timeoutTimer = nullptr;
    bool isInFlight = false;
    bool isTimedOut = false;
    bool isTooLarge = false;
    QNetworkReply *currentReply = nullptr;
    OvProxyFactory *proxyFactory = nullptr; // owned by manager
};

#endif // OVHTTPHELPER_H
