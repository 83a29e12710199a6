#ifndef OVLISTITEMFORM_H
#define OVLISTITEMFORM_H

#include "core/suite/OvTypes.h"

#include <QWidget>

class OvListItemBodyForm;
class OvListItemHeaderForm;
class OvModuleUpgradeInfo;
class QFrame;
class QListWidgetItem;
class QVBoxLayout;

// One row of the upgrade list: header strip, a one-pixel rule and a body that shows only while
// the row is expanded. The row tells the list its height through the item's size hint.
class OvListItemForm : public QWidget
{
    Q_OBJECT

public:
    // `item` is the list item showing this row; it is not owned.
    explicit OvListItemForm(QListWidgetItem *item, QWidget *parent = nullptr);

    void setLanguage(const QString &language);
    tds4 projId() const { return projectId; }
    void setIndex(tds4 index);
    void setSelected(bool isSelected);
    // Copies what header and body show; the record may be destroyed afterwards.
    void setModuleInfo(OvModuleUpgradeInfo *info);
    void setProgress(float progress);
    void resetUpgrade();

signals:
    void sigSelectChanged(tds4 index, bool isSelected);
    void sigUpgrade(tds4 projId, const QString &upgradeUrl, bool isStartUpgrade);

private:
    void setupUi();

    tds4 projectId = 0;
    QListWidgetItem *item = nullptr;
    bool isSelected = false;

    QVBoxLayout *verticalLayout = nullptr;
    OvListItemHeaderForm *wgtHead = nullptr;
    QFrame *line = nullptr;
    OvListItemBodyForm *wgtBody = nullptr;
};

#endif // OVLISTITEMFORM_H
