#ifndef OVZENTAUPDATEFORM_H
#define OVZENTAUPDATEFORM_H

#include "check/OvHttpHelper.h"
#include "check/OvZentaUpdateInfo.h"

#include <QMap>
#include <QString>
#include <QWidget>

// The updater's only window and the owner of one update.
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

private slots:
    void onZentaUpgradeTipDownloaded(const OvZentaUpdateInfo &info);
    void onDownloadTipFailed(const QString &errStr);

private:
    QString language = QStringLiteral("zh_CN");
    OvHttpHelper httpHelper;
    OvZentaUpdateInfo updateInfo;
    QString currentVersion;
    QString processName;
    qint32 channelType = -1;
    QString code;
};

#endif // OVZENTAUPDATEFORM_H
