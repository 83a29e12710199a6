#ifndef OVZENTAUPDATEFORM_H
#define OVZENTAUPDATEFORM_H

#include "core/check/OvHttpHelper.h"
#include "core/check/OvZentaUpdateInfo.h"
#include "core/download/OvDownloadManager.h"
#include "core/suite/OvTypes.h"

#include <QByteArray>
#include <QMap>
#include <QString>
#include <QWidget>

#include <mutex>

struct OvZentaUpdateFormUi;
class QCloseEvent;

// The updater's only window and the owner of one update: it checks for an offer, lists it,
// downloads the package, stops the suite, extracts over the installation directory on the
// global thread pool and starts the suite again.
class OvZentaUpdateForm : public QWidget
{
    Q_OBJECT

public:
    explicit OvZentaUpdateForm(QWidget *parent = nullptr);
    ~OvZentaUpdateForm() override;

    void setLanguage(const QString &language);
    void setCurrentVersion(const QString &version);
    void setChannelType(qint32 channelType);
    void setProcessName(const QString &processName);
    void setCode(const QString &code);
    // Posts the upgrade query to `url`; its answer decides whether the window is shown.
    void startUpgradeCheck(const QString &url);

    // The directory the package is extracted over and the suite is started from. It is the
    // application directory; tests point a whole update at a directory of their own.
    void setInstallDir(const QString &dir);
    QString installDir() const { return installDirectory; }

    // The minisign public key (the base64 line of minisign.pub) that a package must be signed
    // with before it is extracted; empty, the default, extracts packages unchecked.
    void setPublicKey(const QByteArray &key);

signals:
    void sigUnZipProgressValueChanged(tds8 unzipFileNum, tds8 totalFileNum);
    void sigUnZipFinished(bool isSucc);
    void sigCopyFilesProgressChanged(tds4 currIndex, tds4 totalNum);

private slots:
    void onUpgradeRer(bool isStartUpgrade);
    void on_btnUpgrade_clicked();
    void onZentaUpgradeTipDownloaded(const OvZentaUpdateInfo &info);
    void onDownloadTipFailed(const QString &errStr);
    void onDownloadProgress(qlonglong bytesReceived, qlonglong bytesTotal);
    void onDownloadFinished(const QString &filename, bool isSucc);
    void onUnZipProgressValueChanged(tds8 unzipFileNum, tds8 totalFileNum);
    void onUnZipFinished(bool isSucc);
    void onCopyFilesProgressChanged(tds4 currIndex, tds4 totalNum);

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void startUpdate();
    void stopUpdate();
    bool isNewerVersion() const;
    void unZipPackage(const QString &destDir, const QString &zipPath);
    void startUnZipTask();
    void checkIsQuit(int key, int state);
    // Sets the hidden bar to a percentage; one the bar cannot show leaves it as it is.
    void setBarPercent(double percent);

    OvZentaUpdateFormUi *ui = nullptr;
    QString language = QStringLiteral("zh_CN");
    OvHttpHelper httpHelper;
    OvZentaUpdateInfo updateInfo;
    OvDownloadManager downloadManager;
    QString fileName;
    QString currentVersion;
    QString processName;
    qint32 channelType = -1;
    QString code;
    bool isUpdating = false;
    QMap<qint32, qint32> quitStates;
    QString installDirectory;
    QByteArray publicKey;
    // The hash the download took of the package being extracted. Written on the GUI thread
    // when a download ends and read by the extraction task; a stopped and restarted update can
    // finish a second download while an earlier task still runs, hence the lock. A standard
    // mutex, which ThreadSanitizer sees through, unlike QMutex in an uninstrumented Qt.
    std::mutex packageHashLock;
    QByteArray packageHash;
};

#endif // OVZENTAUPDATEFORM_H
