#ifndef OVAPPLICATIONUPGRADEINFO_H
#define OVAPPLICATIONUPGRADEINFO_H

#include <QObject>
#include <QString>

// One application inside a module offered for upgrade. The list row reads the fields directly;
// whoever fills the record decides what they say, nothing is looked up here.
class OvApplicationUpgradeInfo : public QObject
{
    Q_OBJECT

public:
    explicit OvApplicationUpgradeInfo(QObject *parent = nullptr);

    QString version;
    QString chineseName;
    QString englishName;
    QString chineseDescription;
    QString englishDescription;
    // Rows show and act on available applications only.
    bool isUpgradeAvailable = false;
    // Starts the upgrade as soon as a row is filled, and hides the row's button.
    bool isForceUpgrade = false;
};

#endif // OVAPPLICATIONUPGRADEINFO_H
