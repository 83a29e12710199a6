#ifndef OVUPGRADELISTWIDGET_H
#define OVUPGRADELISTWIDGET_H

#include "core/suite/OvTypes.h"

#include <QList>
#include <QListWidget>
#include <QPointer>
#include <QString>

class OvListItemForm;
class OvModuleUpgradeInfo;

// The list of offered upgrades in the update window: one expandable row per module record,
// at most one row expanded. Start and stop requests for the suite become sigUpgradeRer; any
// other project's row opens that project's upgrade page in the browser.
class OvUpgradeListWidget : public QListWidget
{
    Q_OBJECT

public:
    explicit OvUpgradeListWidget(QWidget *parent = nullptr);

    // Applies to rows added afterwards.
    void setLanguage(const QString &language);
    // Appends a row for `info`; a forced module requests its start before this returns.
    void addModule(OvModuleUpgradeInfo *info);
    // Shows the fraction in every row of `projId`; a negative value hides it.
    void setUpgradeProgress(tds4 projId, float progress);
    // Puts every row of `projId` back to "not started" without emitting anything, so that
    // the next click starts the upgrade again.
    void resetUpgrade(tds4 projId);

signals:
    void sigUpgradeRer(bool isStartUpgrade);

private slots:
    void onSelectChanged(tds4 index, bool isSelected);
    void onUpgrade(tds4 projId, const QString &upgradeUrl, bool isStartUpgrade);

private:
    OvListItemForm *rowAt(tds4 index) const;
    QList<OvListItemForm *> rowsOf(tds4 projId) const;

    // Row that was expanded last; -1 until the first one is.
    tds4 expandedIndex = -1;
    QString language = QStringLiteral("zh_CN");
    // The rows belong to the list items; this only refers to them.
    QList<QPointer<OvListItemForm>> rows;
};

#endif // OVUPGRADELISTWIDGET_H
