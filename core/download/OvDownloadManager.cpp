#include "core/download/OvDownloadManager.h"

#include "core/download/OvDownloadRules.h"
#include "core/download/OvProxyFactory.h"

#include <QDebug>
#include <QDir>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QStorageInfo>
#include <QTimer>

namespace {

// The reply holds at most this much that we have not read yet. Without a bound Qt keeps
// reading the socket while the event loop is busy and a package ends up in memory; with it,
// each readyRead hands over up to a mebibyte, which also makes for few, large writes.
constexpr qint64 kReadBufferSize = 1024 * 1024;
// Slow lines still deliver something every few seconds; half a minute of nothing is a dead one.
constexpr int kStallTimeoutMs = 30000;
// Less than a kibibyte a minute will not bring a package in any useful time.
constexpr int kRateWindowMs = 60000;

QString partName(const QString &saveName)
{
    return saveName + QStringLiteral(".part");
}

QString infoName(const QString &saveName)
{
    return saveName + QStringLiteral(".part.info");
}

QByteArray readInfo(const QString &saveName)
{
    QFile info(infoName(saveName));
    // A side file is two short lines; anything long is not ours.
    return info.open(QIODevice::ReadOnly) ? info.read(64 * 1024) : QByteArray();
}

} // namespace

OvDownloadManager::OvDownloadManager(QObject *parent)
    : QObject(parent), proxyFactory(new OvProxyFactory)
{
    networkManager.setProxyFactory(proxyFactory);
    // Follow redirects, but never from https down to http.
    networkManager.setRedirectPolicy(QNetworkRequest::NoLessSafeRedirectPolicy);
    stallTimer.setSingleShot(true);
    stallTimer.setInterval(kStallTimeoutMs);
    connect(&stallTimer, &QTimer::timeout, this, [this] {
        fail(Error::Stalled,
             QStringLiteral("No data received for %1 ms").arg(stallTimer.interval()));
    });
    rateTimer.setInterval(kRateWindowMs);
    connect(&rateTimer, &QTimer::timeout, this, &OvDownloadManager::onRateWindow);
}

OvDownloadManager::~OvDownloadManager()
{
    // A running reply is deleted with networkManager, after the other members are gone;
    // nothing it signals then may reach this half-destroyed object.
    if (currentDownload)
        currentDownload->disconnect(this);
}

void OvDownloadManager::setMinimumRate(qint64 bytes, int windowMs)
{
    minimumRateBytes = bytes;
    rateTimer.setInterval(windowMs);
}

void OvDownloadManager::appendDownload(const QUrl &url)
{
    // One start at a time: a URL added while a download runs, or while a start is already
    // scheduled, waits in the queue and is taken when the one before it has finished.
    if (!currentDownload && !isStartScheduled) {
        isStartScheduled = true;
        QTimer::singleShot(0, this, &OvDownloadManager::onStartNextDownload);
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
        lastError = Error::None;
        lastErrorString.clear();
        sourceUrl = url;
        saveName = OvDownloadRules::saveFileName(
            url, [](const QString &name) { return QFile::exists(name); });
        // No name (a URL ending in "/") must not turn into a file called ".part".
        output.setFileName(saveName.isEmpty() ? QString() : partName(saveName));

        // What an earlier try of this URL left is continued, provided the server can tell
        // us whether the file is still the same; anything else starts from nothing.
        QNetworkRequest request(url);
        const QByteArray validator = OvDownloadRules::validatorFor(readInfo(saveName), url);
        resumeOffset = validator.isEmpty() || saveName.isEmpty() ? 0 : output.size();
        lastFileHash.clear();
        hash.reset();
        // The hash covers the whole package, so what an earlier try brought is read once more
        // (on this thread: a few tenths of a second for a large package, once per resume). A
        // partial file that cannot be read is no base to go on from.
        QString why;
        if (isHashing && resumeOffset > 0 && !hash.addFile(output.fileName(), &why)) {
            qDebug() << "Starting " << saveName << "over: the partial file cannot be read:" << why;
            hash.reset();
            resumeOffset = 0;
        }
        // Unbuffered, so that every write reaches the file at once and a failed one is seen
        // where it happens: the hash must cover exactly the bytes in the file.
        if (!output.open(QIODevice::Unbuffered |
                         (resumeOffset > 0 ? QIODevice::Append : QIODevice::WriteOnly))) {
            qDebug() << "Problem opening save file " << saveName << "for download. "
                     << url.toString(QUrl::FullyEncoded) << " : " << output.errorString();
            lastError = Error::CannotOpen;
            lastErrorString = output.errorString();
            // Reported like any failed download, so that the owner never waits for it.
            postFinished(saveName, false);
            continue;
        }
        if (resumeOffset > 0) {
            request.setRawHeader("Range", "bytes=" + QByteArray::number(resumeOffset) + '-');
            request.setRawHeader("If-Range", validator);
            // The offset counts bytes of the file itself, not of a compressed form of it.
            request.setRawHeader("Accept-Encoding", "identity");
        } else {
            QFile::remove(infoName(saveName));
        }

        networkManager.clearConnectionCache();
        QT_WARNING_PUSH
        QT_WARNING_DISABLE_DEPRECATED
        networkManager.setNetworkAccessible(QNetworkAccessManager::Accessible);
        QT_WARNING_POP

        packageLength = -1;
        isResponseChecked = false;
        isBodyKept = false;
        isPartialKept = true;
        currentDownload = networkManager.get(request);
        currentDownload->setReadBufferSize(kReadBufferSize);
        connect(currentDownload, &QNetworkReply::downloadProgress, this,
                &OvDownloadManager::onDownloadProgress);
        connect(currentDownload, &QNetworkReply::finished, this,
                &OvDownloadManager::onDownloadFinished);
        connect(currentDownload, &QNetworkReply::readyRead, this,
                &OvDownloadManager::onDownloadReadyRead);

        qDebug() << "Downloading " << url.toString(QUrl::FullyEncoded);
        if (resumeOffset > 0)
            qDebug() << "Resuming " << saveName << "from byte" << resumeOffset;
        downloadTimer.start();
        stallTimer.start();
        windowBytes = 0;
        rateTimer.start();
        return;
    }

    qDebug("%d/%d files downloaded successfully", downloadedCount, totalCount);
}

void OvDownloadManager::onDownloadProgress(qlonglong bytesReceived, qlonglong bytesTotal)
{
    QNetworkReply *reply = currentDownload;
    checkResponse();
    if (!reply || reply != currentDownload)
        return; // ended by what the answer said
    // The owner shows the whole package, including what an earlier try brought.
    const qint64 received = resumeOffset + bytesReceived;
    const qint64 total = bytesTotal < 0 ? bytesTotal : resumeOffset + bytesTotal;
    emit sigDownloadProgress(received, total);

    const OvDownloadRules::TransferRate rate =
        OvDownloadRules::transferRate(bytesReceived, downloadTimer.elapsed());
    const double percent = double(received) / double(total) * 100.0;
    qDebug() << "OvDownloadManager::onDownloadProgress " << percent << rate.value << rate.unit;
}

void OvDownloadManager::checkResponse()
{
    QNetworkReply *reply = currentDownload;
    const QVariant status =
        reply ? reply->attribute(QNetworkRequest::HttpStatusCodeAttribute) : QVariant();
    if (isResponseChecked || !status.isValid())
        return;
    isResponseChecked = true;
    const int code = status.toInt();
    if (code == 206 && resumeOffset > 0) {
        const OvDownloadRules::ContentRange range =
            OvDownloadRules::contentRange(reply->rawHeader("Content-Range"));
        if (range.first != resumeOffset) {
            isPartialKept = false;
            fail(Error::TooLong, QStringLiteral("Range %1 answered for a request from byte %2")
                                     .arg(QString::fromLatin1(reply->rawHeader("Content-Range")))
                                     .arg(resumeOffset));
            return;
        }
        packageLength = range.total;
        isBodyKept = true;
        return;
    }
    if (code < 200 || code >= 300 || code == 206) {
        // An error page is no part of the package; a range the server cannot serve means the
        // partial file is no use either.
        isPartialKept = code != 416;
        return;
    }

    // The whole file: the server ignored the range or the file has changed since.
    if (resumeOffset > 0) {
        qDebug() << "Starting " << saveName << "over: the server sent the whole file";
        output.resize(0);
        resumeOffset = 0;
        hash.reset();
    }
    isBodyKept = true;
    // Qt drops the length of a body it decompresses; the offset of a later range would count
    // bytes of the compressed form, so such a file is not resumed.
    const QVariant length = reply->header(QNetworkRequest::ContentLengthHeader);
    packageLength = length.isValid() ? length.toLongLong() : -1;
    const QByteArray validator = OvDownloadRules::resumeValidator(
        reply->rawHeader("ETag"), reply->rawHeader("Last-Modified"));
    QFile info(infoName(saveName));
    isPartialKept = !validator.isEmpty() && reply->rawHeader("Content-Encoding").isEmpty() &&
                    info.open(QIODevice::WriteOnly) &&
                    info.write(OvDownloadRules::partInfo(sourceUrl, validator)) > 0;
    if (!isPartialKept)
        info.remove();
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
    rateTimer.stop();
    output.close();

    if (lastError == Error::None) {
        if (reply->error() == QNetworkReply::OperationCanceledError) {
            lastError = Error::Aborted;
            lastErrorString = reply->errorString();
        } else if (isBodyKept && packageLength >= 0 && output.size() < packageLength) {
            // Qt 5 ends a reply whose connection closed mid-body with an error or, at times,
            // without one. Either way the package is shorter than announced and must not pass
            // for a downloaded one; what arrived can be resumed.
            lastError = Error::Truncated;
            lastErrorString = QStringLiteral("Connection closed after %1 of %2 bytes")
                                  .arg(output.size())
                                  .arg(packageLength);
        } else if (reply->error() != QNetworkReply::NoError || !isBodyKept) {
            lastError = Error::Network;
            lastErrorString = reply->errorString();
            // Whether the proxy refused or the server failed, the log must show which proxy.
            const QString proxy = proxyFactory->describe(reply->url());
            if (proxy != QLatin1String("none"))
                lastErrorString += QStringLiteral(" (through proxy %1)").arg(proxy);
        } else {
            // The finished file takes its name only now: no half file ever carries it.
            QFile::remove(saveName);
            if (!output.rename(saveName)) {
                lastError = Error::CannotOpen;
                lastErrorString = output.errorString();
            }
        }
    }

    if (lastError != Error::None) {
        qDebug() << "Failed download: " << lastErrorString;
        if (lastError == Error::Aborted) {
            // Stopped by the owner: it knows, and the partial file stays for a later resume.
            reply->deleteLater();
            currentDownload = nullptr;
            return;
        }
        // Only a partial file with its side file can be resumed; without one it is rubbish.
        if (!isPartialKept || !QFile::exists(infoName(saveName)))
            dropPartial();
        postFinished(saveName, false);
    } else {
        QFile::remove(infoName(saveName));
        lastFileHash = isHashing ? hash.result() : QByteArray();
        postFinished(saveName, true);
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
    QNetworkReply *reply = currentDownload;
    checkResponse();
    // A failure found in the answer ends the reply at once, and may start the next one.
    if (!reply || reply != currentDownload || reply->bytesAvailable() <= 0)
        return;
    const QByteArray data = reply->readAll();
    if (!isBodyKept || lastError != Error::None)
        return;
    stallTimer.start();
    windowBytes += data.size();
    const qint64 size = output.size() + data.size();
    if (packageLength >= 0 && size > packageLength) {
        isPartialKept = false;
        fail(Error::TooLong, QStringLiteral("More than the announced %1 bytes").arg(packageLength));
        return;
    }
    if (packageLength < 0) {
        const QStorageInfo volume(QDir::currentPath());
        if (volume.bytesAvailable() - data.size() < minimumFreeSpace) {
            isPartialKept = false;
            fail(Error::NoSpace, QStringLiteral("Stopped after %1 bytes of unknown length: less "
                                                "than %2 bytes would stay free")
                                     .arg(size - data.size())
                                     .arg(minimumFreeSpace));
            return;
        }
    }
    if (output.write(data) != data.size()) {
        // What the file holds is no longer what was hashed, nor a base to resume from.
        isPartialKept = false;
        fail(Error::CannotWrite, output.errorString());
        return;
    }
    if (isHashing)
        hash.addData(data.constData(), data.size());
}

void OvDownloadManager::fail(Error error, const QString &reason)
{
    // Ended like an abort, but reported as the failed download it is, so that the owner asks
    // whether to try again instead of waiting on.
    if (!currentDownload || lastError != Error::None)
        return;
    lastError = error;
    lastErrorString = reason;
    if (!currentDownload->isFinished())
        currentDownload->abort();
}

void OvDownloadManager::onRateWindow()
{
    if (windowBytes < minimumRateBytes)
        fail(Error::Stalled, QStringLiteral("Less than %1 bytes received in %2 ms")
                                 .arg(minimumRateBytes)
                                 .arg(rateTimer.interval()));
    windowBytes = 0;
}

void OvDownloadManager::dropPartial()
{
    output.remove();
    QFile::remove(infoName(saveName));
}

void OvDownloadManager::postFinished(const QString &filename, bool isSucc)
{
    // Posted, so that receivers hear of it only after this download has been wound up and
    // the next one started, and may safely queue or abort from their slot.
    QTimer::singleShot(0, this,
                       [this, filename, isSucc] { emit sigDownloadFinished(filename, isSucc); });
}
