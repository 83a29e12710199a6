#include "gui/list/OvApplicationUpgradeInfo.h"

OvApplicationUpgradeInfo::OvApplicationUpgradeInfo(QObject *parent) : QObject(parent) {}
