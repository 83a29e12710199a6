#ifndef OVDOWNLOADMANAGER_H
#define OVDOWNLOADMANAGER_H

#include "core/verify/OvPackageHash.h"

#include <QElapsedTimer>
#include <QFile>
#include <QNetworkAccessManager>
#include <QObject>
#include <QQueue>
#include <QTimer>
#include <QUrl>

class OvProxyFactory;
class QNetworkReply;

// Downloads a queue of URLs strictly one after another, each into its own file in the
// process's current directory, reporting byte counts while a file arrives and its name and
// outcome when it is done. A file arrives as "<name>.part" and takes its name only when
// complete; a failed or stopped download of the same URL later resumes from there when the
// server gave a validator. Lives on the GUI thread.
class OvDownloadManager : public QObject
{
    Q_OBJECT

public:
    enum class Error
    {
        None,
        CannotOpen,  // the save file could not be opened or renamed
        CannotWrite, // the save file could not take the bytes (a full volume, an I/O error)
        Network,     // refused, unreachable, proxy, TLS or HTTP error, cut without a length
        Stalled,     // nothing for the stall time, or too little in a rate window
        Truncated,   // the connection ended before the announced length
        TooLong,     // more bytes than announced, or a range other than the one asked for
        NoSpace,     // no length announced and the volume would fall below its free reserve
        Aborted,     // stopped by the owner; the partial file stays for a later resume
    };

    explicit OvDownloadManager(QObject *parent = nullptr);
    ~OvDownloadManager() override;

    // Queues `url`; it starts from the event loop once nothing else runs or waits before it.
    void appendDownload(const QUrl &url);
    // Cancels the running download, if any. Nothing is reported and the partial file stays.
    void abortDownload();
    // How long a download may go without receiving a byte before it counts as failed.
    void setStallTimeout(int ms) { stallTimer.setInterval(ms); }
    // A download that receives fewer than `bytes` in a window of `windowMs` (windows follow
    // one another from its start) counts as stalled.
    void setMinimumRate(qint64 bytes, int windowMs);
    // A download without an announced length stops before the volume of the current directory
    // would have less than `bytes` free.
    void setMinimumFreeSpace(qint64 bytes) { minimumFreeSpace = bytes; }
    // Takes the BLAKE2b-512 of each file as it arrives, so that a signature check after the
    // download need not read the package again. Off by default: it costs about a second of
    // processor time per gigabyte, which only a build that checks signatures should pay.
    void setHashing(bool on) { isHashing = on; }

    // Why the last download failed; None after a success and while one runs.
    Error error() const { return lastError; }
    QString errorString() const { return lastErrorString; }
    // With hashing on, the BLAKE2b-512 of the last file downloaded successfully, taken as its
    // bytes arrived (and from the partial file when it was resumed); empty after a failure,
    // while one runs, and with hashing off.
    QByteArray fileHash() const { return lastFileHash; }

signals:
    void sigDownloadProgress(qlonglong bytesReceived, qlonglong bytesTotal);
    void sigDownloadFinished(QString filename, bool isSucc);

private slots:
    void onStartNextDownload();
    void onDownloadProgress(qlonglong bytesReceived, qlonglong bytesTotal);
    void onDownloadFinished();
    void onDownloadReadyRead();

private:
    void postFinished(const QString &filename, bool isSucc);
    void checkResponse();
    void writeAvailable();
    void fail(Error error, const QString &reason);
    void onRateWindow();
    void dropPartial();

    QNetworkAccessManager networkManager;
    QQueue<QUrl> downloadQueue;
    QNetworkReply *currentDownload = nullptr;
    QFile output;
    QElapsedTimer downloadTimer;
    qint32 downloadedCount = 0;
    qint32 totalCount = 0;
    bool isStartScheduled = false;
    OvProxyFactory *proxyFactory = nullptr; // owned by networkManager
    // A connection that dies without a word (a dropped network) would otherwise leave the
    // download waiting forever, and the update with it; a trickle would do the same.
    QTimer stallTimer;
    QTimer rateTimer;
    qint64 minimumRateBytes = 1024;
    qint64 windowBytes = 0;
    qint64 minimumFreeSpace = 100LL * 1000 * 1000;

    // The running download: the URL queued, its save name, what the partial file held when it was
    // sent (the start of the range asked for), the whole package's length when known, and whether
    // the answer has been looked at and its body belongs in the file.
    QUrl sourceUrl;
    QString saveName;
    qint64 resumeOffset = 0;
    qint64 packageLength = -1;
    bool isResponseChecked = false;
    bool isBodyKept = false;
    bool isPartialKept = false;

    bool isHashing = false;
    OvPackageHash hash;
    QByteArray lastFileHash;

    Error lastError = Error::None;
    QString lastErrorString;
};

#endif // OVDOWNLOADMANAGER_H
