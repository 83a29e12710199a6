#include "window/OvZentaUpdateForm.h"

#include <QDebug>

OvZentaUpdateForm::OvZentaUpdateForm(QWidget *parent) : QWidget(parent)
{
    qRegisterMetaType<OvZentaUpdateInfo>("OvZentaUpdateInfo");
    connect(&httpHelper, SIGNAL(sigZentaUpgradeTipDownloaded(const OvZentaUpdateInfo &)), this,
            SLOT(onZentaUpgradeTipDownloaded(const OvZentaUpdateInfo &)));
    connect(&httpHelper, SIGNAL(sigDownloadFailed(const QString &)), this,
            SLOT(onDownloadTipFailed(const QString &)));
}

OvZentaUpdateForm::~OvZentaUpdateForm() = default;

void OvZentaUpdateForm::setLanguage(const QString &language)
{
    this->language = language;
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

void OvZentaUpdateForm::onZentaUpgradeTipDownloaded(const OvZentaUpdateInfo &info)
{
    updateInfo = info;
    qDebug() << "OvZentaUpdateForm::onZentaUpgradeTipDownloaded \n"
             << updateInfo.cdt << "\n"
             << updateInfo.importanceLevel << "\n"
             << updateInfo.description << "\n"
             << updateInfo.version << "\n"
             << updateInfo.url;
}

void OvZentaUpdateForm::onDownloadTipFailed(const QString &errStr)
{
    qDebug() << "OvZentaUpdateForm::onDownloadTipFailed " << errStr;
}
