#include "gui/window/OvZentaUpdateForm.h"

#include "core/install/OvZipHelper.h"
#include "core/suite/OvSuiteProcess.h"
#include "core/suite/OvVersion.h"
#include "core/verify/OvPackageVerifier.h"
#include "gui/list/OvModuleUpgradeInfo.h"
#include "gui/list/OvUpgradeListWidget.h"
#include "gui/window/OvBarPercent.h"
#include "gui/window/OvMessageBox.h"
#include "gui/window/OvZentaUpdateFormUi.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QDebug>
#include <QFile>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QThreadPool>
#include <QUrl>
#include <QtConcurrentRun>

#include <optional>

OvZentaUpdateForm::OvZentaUpdateForm(QWidget *parent)
    : QWidget(parent), ui(new OvZentaUpdateFormUi),
      installDirectory(QCoreApplication::applicationDirPath())
{
    ui->setupUi(this);

    qRegisterMetaType<OvZentaUpdateInfo>("OvZentaUpdateInfo");
    qRegisterMetaType<qlonglong>("tds8");
    qRegisterMetaType<int>("tds4");

    quitStates.insert(0, 0);

    connect(&httpHelper, SIGNAL(sigZentaUpgradeTipDownloaded(const OvZentaUpdateInfo &)), this,
            SLOT(onZentaUpgradeTipDownloaded(const OvZentaUpdateInfo &)));
    connect(&httpHelper, SIGNAL(sigDownloadFailed(const QString &)), this,
            SLOT(onDownloadTipFailed(const QString &)));
    connect(&downloadManager, SIGNAL(sigDownloadProgress(qint64, qint64)), this,
            SLOT(onDownloadProgress(qint64, qint64)));
    connect(&downloadManager, SIGNAL(sigDownloadFinished(const QString &, bool)), this,
            SLOT(onDownloadFinished(const QString &, bool)));
    connect(this, SIGNAL(sigUnZipProgressValueChanged(tds8, tds8)), this,
            SLOT(onUnZipProgressValueChanged(tds8, tds8)));
    connect(this, SIGNAL(sigUnZipFinished(bool)), this, SLOT(onUnZipFinished(bool)));
    connect(this, SIGNAL(sigCopyFilesProgressChanged(tds4, tds4)), this,
            SLOT(onCopyFilesProgressChanged(tds4, tds4)));
    connect(ui->wgtList, SIGNAL(sigUpgradeRer(bool)), this, SLOT(onUpgradeRer(bool)));

    setStyleSheet(QStringLiteral("#OvZentaUpdateForm{background-color: rgb(0, 102, 179);}"));

    ui->btnUpgrade->setVisible(false);
    ui->progressBar->setVisible(false);
}

OvZentaUpdateForm::~OvZentaUpdateForm()
{
    // An extraction task may still run when the event loop ends; it emits through this
    // window, so the window must outlive it.
    QThreadPool::globalInstance()->waitForDone();
    delete ui;
}

void OvZentaUpdateForm::setLanguage(const QString &language)
{
    this->language = language;
    ui->wgtList->setLanguage(language);
}

void OvZentaUpdateForm::setCurrentVersion(const QString &version)
{
    currentVersion = version;
}

void OvZentaUpdateForm::setChannelType(qint32 channelType)
{
    this->channelType = channelType;
}

void OvZentaUpdateForm::setProcessName(const QString &processName)
{
    this->processName = processName;
}

void OvZentaUpdateForm::setCode(const QString &code)
{
    this->code = code;
}

void OvZentaUpdateForm::startUpgradeCheck(const QString &url)
{
    httpHelper.requestUpgradeTip(channelType, code, url);
}

void OvZentaUpdateForm::setInstallDir(const QString &dir)
{
    installDirectory = dir;
}

void OvZentaUpdateForm::setPublicKey(const QByteArray &key)
{
    publicKey = key;
    // The signature check trusts the hash the download takes, instead of reading the package
    // once more after it.
    downloadManager.setHashing(!key.isEmpty());
}

void OvZentaUpdateForm::onZentaUpgradeTipDownloaded(const OvZentaUpdateInfo &info)
{
    updateInfo = info;
    const bool isNewer = isNewerVersion();
    if (isNewer) {
        qDebug() << "OvZentaUpdateForm::onZentaUpgradeTipDownloaded \n"
                 << updateInfo.cdt << "\n"
                 << updateInfo.importanceLevel << "\n"
                 << updateInfo.description << "\n"
                 << updateInfo.version << "\n"
                 << updateInfo.url;

        const bool isForced = updateInfo.importanceLevel == 1;
        auto *module = new OvModuleUpgradeInfo(this);
        const QString label = isForced ? tr("LabZentaIsUpdating") : tr("LabZentaVersionTip");
        const QString title = QStringLiteral("%1 V%2").arg(label, updateInfo.version);
        module->setUpgradeInfo(-1, title, updateInfo.description, true, isForced);
        // A forced update starts from inside addModule, through the row's start request.
        ui->wgtList->addModule(module);
    }
    checkIsQuit(0, isNewer ? 1 : 2);
}

void OvZentaUpdateForm::onDownloadTipFailed(const QString &errStr)
{
    qDebug() << "OvZentaUpdateForm::onDownloadTipFailed " << errStr;
    checkIsQuit(0, 2);
}

bool OvZentaUpdateForm::isNewerVersion() const
{
    return OvVersion::isNewer(updateInfo.version, currentVersion);
}

void OvZentaUpdateForm::onUpgradeRer(bool isStartUpgrade)
{
    if (isStartUpgrade)
        startUpdate();
    else
        stopUpdate();
}

void OvZentaUpdateForm::on_btnUpgrade_clicked()
{
    if (!isUpdating)
        startUpdate();
    else
        stopUpdate();
}

void OvZentaUpdateForm::startUpdate()
{
    isUpdating = true;
    ui->btnUpgrade->setText(tr("BtnStopUpdate"));
    ui->progressBar->setValue(0);

    const QUrl url = QUrl::fromEncoded(updateInfo.url.toLocal8Bit(), QUrl::TolerantMode);
    if (url.isValid())
        downloadManager.appendDownload(url);

    OvSuiteProcess::stop(processName);
}

void OvZentaUpdateForm::stopUpdate()
{
    isUpdating = false;
    ui->btnUpgrade->setText(tr("BtnStartUpdate"));
    downloadManager.abortDownload();
    ui->progressBar->setValue(0);
    ui->btnUpgrade->setEnabled(true);
    ui->wgtList->setUpgradeProgress(-1, -1.0f);
}

void OvZentaUpdateForm::setBarPercent(double percent)
{
    if (const std::optional<int> value = OvBarPercent::value(percent))
        ui->progressBar->setValue(*value);
}

void OvZentaUpdateForm::onDownloadProgress(qlonglong bytesReceived, qlonglong bytesTotal)
{
    const float fraction =
        static_cast<float>(static_cast<double>(bytesReceived) / static_cast<double>(bytesTotal));
    ui->wgtList->setUpgradeProgress(-1, fraction);
    // The bar's percentage is computed in single precision, as the row's is.
    setBarPercent(fraction * 100.0f);
}

void OvZentaUpdateForm::onDownloadFinished(const QString &filename, bool isSucc)
{
    qDebug() << "OvZentaUpdateForm::onDownloadFinished " << isSucc << filename;
    if (isSucc) {
        fileName = filename;
        {
            const std::lock_guard<std::mutex> locker(packageHashLock);
            packageHash = downloadManager.fileHash();
        }
        ui->btnUpgrade->setEnabled(false);
        startUnZipTask();
        return;
    }

    if (OvMessageBox::confirm(tr("LabWarning"),
                              tr("MsgConfirmToUpdateRetryBecauseDownloadFailed")) ==
        QMessageBox::Yes) {
        startUpdate();
    } else {
        stopUpdate();
        ui->wgtList->resetUpgrade(-1);
    }
}

void OvZentaUpdateForm::startUnZipTask()
{
    const QString destDir = installDirectory + QStringLiteral("/");
    const QString zipPath = installDirectory + QStringLiteral("/") + fileName;
    // The future is not kept: the task reports only through the window's two signals.
    QtConcurrent::run(QThreadPool::globalInstance(), this, &OvZentaUpdateForm::unZipPackage,
                      destDir, zipPath);
}

void OvZentaUpdateForm::unZipPackage(const QString &destDir, const QString &zipPath)
{
    // With a key, a package that the vendor did not sign for the offered version is refused
    // before a byte of it reaches the installation directory. The key and the offer are set
    // before any update starts and not changed while this task runs.
    if (!publicKey.isEmpty()) {
        QByteArray hash;
        {
            const std::lock_guard<std::mutex> locker(packageHashLock);
            hash = packageHash;
        }
        // The download hashed the package as it arrived, so only the signatures remain to be
        // checked here; a package without that hash fails like a wrong one.
        OvPackageVerifier verifier;
        if (!verifier.verify(hash, publicKey, updateInfo.signature.toLatin1(),
                             updateInfo.version)) {
            qDebug().noquote() << "OvZentaUpdateForm::unZipPackage package refused:"
                               << verifier.errorString();
            emit sigUnZipFinished(false);
            return;
        }
        qDebug().noquote() << "OvZentaUpdateForm::unZipPackage signature verified for"
                           << updateInfo.version;
    }

    OvZipHelper helper(nullptr);
    connect(
        &helper, &OvZipHelper::sigUpZipProgress, &helper,
        [this](tds8 unzipFileNum, tds8 totalFileNum) {
            emit sigUnZipProgressValueChanged(unzipFileNum, totalFileNum);
        },
        Qt::DirectConnection);
    connect(
        &helper, &OvZipHelper::sigUpZipFinished, &helper,
        [this](bool isSucc) { emit sigUnZipFinished(isSucc); }, Qt::DirectConnection);
    helper.upzip(zipPath, destDir);
}

void OvZentaUpdateForm::onUnZipProgressValueChanged(tds8 unzipFileNum, tds8 totalFileNum)
{
    setBarPercent(static_cast<double>(unzipFileNum) / static_cast<double>(totalFileNum) * 100.0);
}

void OvZentaUpdateForm::onUnZipFinished(bool isSucc)
{
    qDebug() << "OvZentaUpdateForm::onUnZipFinished " << isSucc;
    if (isSucc) {
        QFile::remove(installDirectory + QStringLiteral("/") + fileName);
        ui->btnUpgrade->setEnabled(true);
        if (OvMessageBox::confirm(tr("LabTip"), tr("MsgIsStartSoftwareProcess")) ==
            QMessageBox::Yes) {
            OvSuiteProcess::start(installDirectory, processName);
            checkIsQuit(0, 2);
        }
        return;
    }

    if (OvMessageBox::confirm(tr("LabWarning"), tr("MsgConfirmToUpdateRetryBecauseUnZipFailed")) ==
        QMessageBox::Yes) {
        ui->btnUpgrade->setEnabled(false);
        startUnZipTask();
    } else {
        stopUpdate();
        ui->wgtList->resetUpgrade(-1);
    }
}

void OvZentaUpdateForm::onCopyFilesProgressChanged(tds4 currIndex, tds4 totalNum)
{
    setBarPercent(static_cast<double>(currIndex) / static_cast<double>(totalNum) * 100.0);
}

void OvZentaUpdateForm::checkIsQuit(int key, int state)
{
    qDebug() << "OvZentaUpdateForm::checkIsQuit" << key << state;
    quitStates.insert(key, state);

    bool isShow = false;
    for (auto it = quitStates.cbegin(); it != quitStates.cend(); ++it) {
        if (it.value() == 1) {
            isShow = true;
            break;
        }
        if (it.value() == 0)
            return; // a source has still to answer
    }

    qDebug() << "OvZentaUpdateForm::checkIsQuit" << isShow;
    if (isShow)
        show();
    else
        QCoreApplication::exit(0);
}

void OvZentaUpdateForm::closeEvent(QCloseEvent *event)
{
    qDebug() << "OvZentaUpdateForm::closeEvent";
    const int exitCode = updateInfo.importanceLevel == 1 ? 2 : 1;
    if (isUpdating &&
        OvMessageBox::confirm(tr("LabWarning"), tr("MsgRerIsUpdatingConfirmToExit")) !=
            QMessageBox::Yes) {
        event->ignore();
        return;
    }
    QCoreApplication::exit(exitCode);
    event->ignore();
}
