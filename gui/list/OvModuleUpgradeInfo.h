#ifndef OVMODULEUPGRADEINFO_H
#define OVMODULEUPGRADEINFO_H

#include "core/suite/OvTypes.h"

#include <QList>
#include <QObject>
#include <QString>

class OvApplicationUpgradeInfo;

// What one row of the upgrade list shows: a title, the project behind it and its applications.
// Rows copy what they need, so a record may go away once its row is filled.
class OvModuleUpgradeInfo : public QObject
{
    Q_OBJECT

public:
    explicit OvModuleUpgradeInfo(QObject *parent = nullptr);
    // Deletes the application records it holds.
    ~OvModuleUpgradeInfo() override;

    // Takes over `projId` and `title` and appends one application record carrying
    // `description` in both languages. Earlier application records stay.
    bool setUpgradeInfo(tds4 projId, const QString &title, const QString &description,
                        bool isUpgradeAvailable, bool isForceUpgrade);

    // -1 is the suite this updater upgrades; any other project goes through its web page.
    tds4 projId = -1;
    QString upgradeUrl;
    QString title;
    // Owned, in insertion order.
    QList<OvApplicationUpgradeInfo *> applications;
};

#endif // OVMODULEUPGRADEINFO_H
