#include "gui/list/OvListItemForm.h"

#include "gui/list/OvListItemBodyForm.h"
#include "gui/list/OvListItemHeaderForm.h"
#include "gui/list/OvModuleUpgradeInfo.h"

#include <QFrame>
#include <QListWidgetItem>
#include <QVBoxLayout>

namespace {

// Height of the header strip, which is all a collapsed row shows.
constexpr int kHeaderHeight = 46;
constexpr int kHintWidth = 100;

} // namespace

OvListItemForm::OvListItemForm(QListWidgetItem *item, QWidget *parent) : QWidget(parent), item(item)
{
    setupUi();
    if (item)
        item->setSizeHint(QSize(kHintWidth, kHeaderHeight));
    wgtBody->hide();
    line->setStyleSheet(QStringLiteral("QFrame{background:rgb(100, 100, 100);}"));
    connect(wgtHead, &OvListItemHeaderForm::sigSelectChanged, this,
            &OvListItemForm::sigSelectChanged);
    connect(wgtHead, &OvListItemHeaderForm::sigUpgrade, this, &OvListItemForm::sigUpgrade);
}

void OvListItemForm::setupUi()
{
    if (objectName().isEmpty())
        setObjectName(QStringLiteral("OvListItemForm"));
    resize(400, 102);

    verticalLayout = new QVBoxLayout(this);
    verticalLayout->setObjectName(QStringLiteral("verticalLayout"));
    verticalLayout->setSpacing(0);
    verticalLayout->setContentsMargins(0, 0, 0, 0);

    wgtHead = new OvListItemHeaderForm(this);
    wgtHead->setObjectName(QStringLiteral("wgtHead"));
    wgtHead->setMinimumSize(QSize(0, kHeaderHeight));
    wgtHead->setMaximumSize(QSize(16777215, 16777215));
    verticalLayout->addWidget(wgtHead);

    line = new QFrame(this);
    line->setObjectName(QStringLiteral("line"));
    line->setMinimumSize(QSize(0, 1));
    line->setMaximumSize(QSize(16777215, 1));
    line->setFrameShape(QFrame::StyledPanel);
    line->setFrameShadow(QFrame::Raised);
    verticalLayout->addWidget(line);

    wgtBody = new OvListItemBodyForm(this);
    wgtBody->setObjectName(QStringLiteral("wgtBody"));
    wgtBody->setMinimumSize(QSize(0, kHeaderHeight));
    verticalLayout->addWidget(wgtBody);

    setWindowTitle(tr("WndRegListForm"));
}

void OvListItemForm::setLanguage(const QString &language)
{
    wgtBody->setLanguage(language);
}

void OvListItemForm::setIndex(tds4 index)
{
    wgtHead->setIndex(index);
}

void OvListItemForm::setSelected(bool isSelected)
{
    wgtHead->setSelected(isSelected);
    this->isSelected = isSelected;
    wgtBody->setVisible(isSelected);
    // The body is sized to its text only once it shows, so that the text has its width.
    const int rowHeight = isSelected ? wgtBody->fitHeight() + kHeaderHeight : kHeaderHeight;
    if (item)
        item->setSizeHint(QSize(kHintWidth, rowHeight));
}

void OvListItemForm::setModuleInfo(OvModuleUpgradeInfo *info)
{
    if (!info)
        return;
    projectId = info->projId;
    wgtBody->setModuleInfo(info);
    // Last, because a forced upgrade is requested from in here.
    wgtHead->setModuleInfo(info);
}

void OvListItemForm::setProgress(float progress)
{
    wgtHead->setProgress(progress);
}

void OvListItemForm::resetUpgrade()
{
    wgtHead->resetUpgrade();
}
