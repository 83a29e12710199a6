#include "gui/list/OvModuleUpgradeInfo.h"

#include "gui/list/OvApplicationUpgradeInfo.h"

OvModuleUpgradeInfo::OvModuleUpgradeInfo(QObject *parent) : QObject(parent) {}

OvModuleUpgradeInfo::~OvModuleUpgradeInfo()
{
    // The applications have no Qt parent, so nothing else would free them.
    qDeleteAll(applications);
    applications.clear();
}

bool OvModuleUpgradeInfo::setUpgradeInfo(tds4 projId, const QString &title,
                                         const QString &description, bool isUpgradeAvailable,
                                         bool isForceUpgrade)
{
    auto *application = new OvApplicationUpgradeInfo;
    application->chineseDescription = description;
    application->englishDescription = description;
    application->isUpgradeAvailable = isUpgradeAvailable;
    application->isForceUpgrade = isForceUpgrade;

    this->projId = projId;
    this->title = title;
    applications.append(application);
    return true;
}
