#ifndef OVDOWNLOADMANAGER_H
#define OVDOWNLOADMANAGER_H

#include <QElapsedTimer>
#include <QFile>
#include <QNetworkAccessManager>
#include <QObject>
#include <QQueue>
#include <QTimer>
#include <QUrl>

class QNetworkReply;

// Downloads a queue of URLs strictly one after another, each into its own file in the
// process's current directory, reporting byte counts while a file arrives and its name and
// outcome when it is done. Lives on the GUI thread.
class OvDownloadManager : public QObject
{
    Q_OBJECT

public:
    explicit OvDownloadManager(QObject *parent = nullptr);
    ~OvDownloadManager() override;

    // Queues `url`; it starts from the event loop once nothing else runs or waits before it.
    void appendDownload(const QUrl &url);
    // Cancels the running download, if any. Nothing is reported and the partial file stays.
    void abortDownload();
    // How long a download may go without receiving a byte before it counts as failed.
    void setStallTimeout(int ms) { stallTimer.setInterval(ms); }

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
    void writeAvailable();
    void onStalled();

    QNetworkAccessManager networkManager;
    QQueue<QUrl> downloadQueue;
    QNetworkReply *currentDownload = nullptr;
    QFile output;
    QElapsedTimer downloadTimer;
    qint32 downloadedCount = 0;
    qint32 totalCount = 0;
    bool isStartScheduled = false;
    // A connection that dies without a word (a dropped network) would otherwise leave the
    // download waiting forever, and the update with it.
    QTimer stallTimer;
    bool isStalled = false;
};

#endif // OVDOWNLOADMANAGER_H
