#include "core/download/OvDownloadManager.h"

#include "core/download/OvDownloadRules.h"

#include <QDebug>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>

namespace {

// The reply holds at most this much that we have not read yet. Without a bound Qt keeps
// reading the socket while the event loop is busy and a package ends up in memory; with it,
// each readyRead hands over up to a mebibyte, which also makes for few, large writes.
constexpr qint64 kReadBufferSize = 1024 * 1024;
// Slow lines still deliver something every few seconds; half a minute of nothing is a dead one.
constexpr int kStallTimeoutMs = 30000;

} // namespace

OvDownloadManager::OvDownloadManager(QObject *parent) : QObject(parent)
{
    // Follow redirects, but never from https down to http.
    networkManager.setRedirectPolicy(QNetworkRequest::NoLessSafeRedirectPolicy);
    stallTimer.setSingleShot(true);
    stallTimer.setInterval(kStallTimeoutMs);
    connect(&stallTimer, &QTimer::timeout, this, &OvDownloadManager::onStalled);
}

OvDownloadManager::~OvDownloadManager()
{
    // A running reply is deleted with networkManager, after the other members are gone;
    // nothing it signals then may reach this half-destroyed object.
    if (currentDownload)
        currentDownload->disconnect(this);
}

void OvDownloadManager::appendDownload(const QUrl &url)
{
    // One start at a time: a URL added while a download runs, or while a start is already
    // scheduled, waits in the queue and is taken when the one before it has finished.
    if (!currentDownload && !isStartScheduled) {
        isStartScheduled = true;
        QTimer::singleShot(0, this, SLOT(onStartNextDownload()));
    }
    downloadQueue.enqueue(url);
    ++totalCount;
}

void OvDownloadManager::abortDownload()
{
    if (currentDownload)
        currentDownload->abort();
}

void OvDownloadManager::onStartNextDownload()
{
    isStartScheduled = false;
    if (currentDownload)
        return;

    while (!downloadQueue.isEmpty()) {
        const QUrl url = downloadQueue.dequeue();
        const QString filename = OvDownloadRules::saveFileName(
            url, [](const QString &name) { return QFile::exists(name); });
        output.setFileName(filename);
        if (!output.open(QIODevice::WriteOnly)) {
            qDebug() << "Problem opening save file " << filename << "for download. "
                     << url.toString(QUrl::FullyEncoded) << " : " << output.errorString();
            // Reported like any failed download, so that the owner never waits for it.
            postFinished(filename, false);
            continue;
        }

        networkManager.clearConnectionCache();
        QT_WARNING_PUSH
        QT_WARNING_DISABLE_DEPRECATED
        networkManager.setNetworkAccessible(QNetworkAccessManager::Accessible);
        QT_WARNING_POP

        currentDownload = networkManager.get(QNetworkRequest(url));
        currentDownload->setReadBufferSize(kReadBufferSize);
        connect(currentDownload, &QNetworkReply::downloadProgress, this,
                &OvDownloadManager::onDownloadProgress);
        connect(currentDownload, &QNetworkReply::finished, this,
                &OvDownloadManager::onDownloadFinished);
        connect(currentDownload, &QNetworkReply::readyRead, this,
                &OvDownloadManager::onDownloadReadyRead);

        qDebug() << "Downloading " << url.toString(QUrl::FullyEncoded);
        downloadTimer.start();
        isStalled = false;
        stallTimer.start();
        return;
    }

    qDebug("%d/%d files downloaded successfully", downloadedCount, totalCount);
}

void OvDownloadManager::onDownloadProgress(qlonglong bytesReceived, qlonglong bytesTotal)
{
    emit sigDownloadProgress(bytesReceived, bytesTotal);

    const OvDownloadRules::TransferRate rate =
        OvDownloadRules::transferRate(bytesReceived, downloadTimer.elapsed());
    const double percent = double(bytesReceived) / double(bytesTotal) * 100.0;
    qDebug() << "OvDownloadManager::onDownloadProgress " << percent << rate.value << rate.unit;
}

void OvDownloadManager::onDownloadFinished()
{
    qDebug() << "OvDownloadManager::onDownloadFinished";
    QNetworkReply *reply = currentDownload;
    if (!reply)
        return;

    // Whatever is still buffered belongs in the file before it is closed.
    writeAvailable();
    stallTimer.stop();
    output.close();
    const QString filename = output.fileName();

    QString failure;
    if (isStalled) {
        failure = QStringLiteral("No data received for %1 ms").arg(stallTimer.interval());
    } else if (reply->error() != QNetworkReply::NoError) {
        failure = reply->errorString();
    } else {
        // Qt 5 at times ends a reply whose connection closed mid-body without an error. A
        // package that is shorter than announced must not pass for a downloaded one. (With
        // transparent decompression Qt drops the Content-Length, so no false alarm there.)
        const QVariant announced = reply->header(QNetworkRequest::ContentLengthHeader);
        if (announced.isValid() && output.size() < announced.toLongLong())
            failure = QStringLiteral("Connection closed after %1 of %2 bytes")
                          .arg(output.size())
                          .arg(announced.toLongLong());
    }

    if (!failure.isEmpty()) {
        qDebug() << "Failed download: " << failure;
        if (reply->error() == QNetworkReply::OperationCanceledError && !isStalled) {
            // Aborted by the owner: it knows, and the partial file stays for it to inspect.
            reply->deleteLater();
            currentDownload = nullptr;
            return;
        }
        postFinished(filename, false);
        output.remove();
    } else {
        postFinished(filename, true);
        ++downloadedCount;
    }

    reply->deleteLater();
    currentDownload = nullptr;
    onStartNextDownload();
}

void OvDownloadManager::onDownloadReadyRead()
{
    writeAvailable();
}

void OvDownloadManager::writeAvailable()
{
    if (currentDownload && currentDownload->bytesAvailable() > 0) {
        stallTimer.start();
        output.write(currentDownload->readAll());
    }
}

void OvDownloadManager::onStalled()
{
    // Ended like an abort, but reported as the failed download it is, so that the owner asks
    // whether to try again instead of waiting on.
    if (!currentDownload)
        return;
    isStalled = true;
    currentDownload->abort();
}

void OvDownloadManager::postFinished(const QString &filename, bool isSucc)
{
    // Posted, so that receivers hear of it only after this download has been wound up and
    // the next one started, and may safely queue or abort from their slot.
    QTimer::singleShot(0, this,
                       [this, filename, isSucc] { emit sigDownloadFinished(filename, isSucc); });
}
