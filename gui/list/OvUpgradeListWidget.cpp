#include "gui/list/OvUpgradeListWidget.h"

#include "gui/list/OvListItemForm.h"
#include "gui/list/OvModuleUpgradeInfo.h"

#include <QDebug>
#include <QDesktopServices>
#include <QUrl>

OvUpgradeListWidget::OvUpgradeListWidget(QWidget *parent) : QListWidget(parent)
{
    setStyleSheet(QStringLiteral(
        "QListWidget{border: none; background-color:transparent; color: black;          "
        "border-radius:3px;outline:0px;}"
        "QListWidget::item{background-color: transparent;border-bottom: 1px solid rgba(0, 0, "
        "0, 208);}"
        "QListWidget::item:alternate{background-color: transparent;}"
        "QListWidget::item:selected{background-color: transparent;color: white;}"
        "QListWidget::item:hover{background-color: transparent;}"
        "QLabel{color: rgb(255, 255, 255);}"
        "QLineEdit{color: rgb(255, 255, 255);}"
        "QSpinBox{border-color:black; background:white; color: rgb(0, 0, 0);}"
        "QDoubleSpinBox{border-color: black; background:white; color: rgb(0, 0, 0);}"
        "QRadioButton{color: rgb(0, 0, 0);}"));
}

void OvUpgradeListWidget::setLanguage(const QString &language)
{
    this->language = language;
}

void OvUpgradeListWidget::addModule(OvModuleUpgradeInfo *info)
{
    auto *item = new QListWidgetItem(this);
    auto *row = new OvListItemForm(item, this);
    row->setLanguage(language);
    rows.append(row);
    connect(row, &OvListItemForm::sigSelectChanged, this, &OvUpgradeListWidget::onSelectChanged);
    connect(row, &OvListItemForm::sigUpgrade, this, &OvUpgradeListWidget::onUpgrade);
    setItemWidget(item, row);
    // Connected before filling: a forced module asks to start while it is being filled.
    row->setModuleInfo(info);
    row->setIndex(count() - 1);
}

void OvUpgradeListWidget::setUpgradeProgress(tds4 projId, float progress)
{
    for (OvListItemForm *row : rowsOf(projId))
        row->setProgress(progress);
}

void OvUpgradeListWidget::resetUpgrade(tds4 projId)
{
    for (OvListItemForm *row : rowsOf(projId))
        row->resetUpgrade();
}

void OvUpgradeListWidget::onSelectChanged(tds4 index, bool isSelected)
{
    if (index == expandedIndex) {
        if (OvListItemForm *row = rowAt(expandedIndex))
            row->setSelected(isSelected);
        return;
    }
    if (OvListItemForm *previous = rowAt(expandedIndex))
        previous->setSelected(false);
    // Another row was picked: it opens, whatever state its header believed it had.
    if (OvListItemForm *row = rowAt(index))
        row->setSelected(true);
    expandedIndex = index;
}

void OvUpgradeListWidget::onUpgrade(tds4 projId, const QString &upgradeUrl, bool isStartUpgrade)
{
    qDebug() << "OvUpgradeListWidget::onUpgrade" << projId << upgradeUrl << isStartUpgrade;
    if (projId == -1) {
        emit sigUpgradeRer(isStartUpgrade);
        return;
    }
    // Other projects are upgraded on their own web page; there is nothing to stop here.
    const QUrl url(upgradeUrl, QUrl::TolerantMode);
    if (url.isValid())
        QDesktopServices::openUrl(url);
}

OvListItemForm *OvUpgradeListWidget::rowAt(tds4 index) const
{
    // No item, no widget or a widget of another kind all mean: no row there.
    QListWidgetItem *listItem = item(index);
    return listItem ? qobject_cast<OvListItemForm *>(itemWidget(listItem)) : nullptr;
}

QList<OvListItemForm *> OvUpgradeListWidget::rowsOf(tds4 projId) const
{
    QList<OvListItemForm *> matching;
    for (const QPointer<OvListItemForm> &row : rows) {
        if (row && row->projId() == projId)
            matching.append(row);
    }
    return matching;
}
