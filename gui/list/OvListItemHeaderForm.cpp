#include "gui/list/OvListItemHeaderForm.h"

#include "gui/list/OvApplicationUpgradeInfo.h"
#include "gui/list/OvModuleUpgradeInfo.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QSpacerItem>
#include <QStyle>
#include <QStyleOption>

namespace {

// The button's blue, so bar and button read as one control.
const QColor kProgressColor(0, 157, 254, 255);

// Width and product in single precision, as the fraction arrives; truncated, so the bar never
// claims more than has been received.
int progressBarWidth(int width, float progress)
{
    return static_cast<int>(static_cast<float>(width) * progress);
}

QString progressText(float progress)
{
    const float percent = progress * 100.0f;
    return QStringLiteral("%1%").arg(static_cast<double>(percent), 0, 'f', 1);
}

} // namespace

OvListItemHeaderForm::OvListItemHeaderForm(QWidget *parent) : QWidget(parent)
{
    setupUi();
    selectedStyleSheet =
        QStringLiteral("QWidget{background-color: rgb(255, 255, 255);border-radius:0px;}"
                       "QLabel{background-color: transparent; color: black;font:bold;}");
    foldStyleSheet = QStringLiteral("QLabel{background-image: url(:/resource/fold.png);"
                                    "background-position: center;background-repeat: no-repeat;}");
    unfoldStyleSheet = QStringLiteral("QLabel{background-image: url(:/resource/unfold.png);"
                                      "background-position: center;background-repeat: no-repeat;}");
    buttonStyleSheet = QStringLiteral(
        "QPushButton {background:rgb(0, 157, 254);color: #FFFFFF;border-radius: 3px;}"
        "QPushButton:hover {background:#0057A9;color: #FFFFFF;}"
        "QPushButton:pressed {background:rgb(0,87,169);color: #FFFFFF;}"
        "QPushButton:disabled {background:#999999;color: #cccccc;}");
    labExpand->setStyleSheet(foldStyleSheet);
    btnUpgrade->setStyleSheet(buttonStyleSheet);
}

void OvListItemHeaderForm::setupUi()
{
    if (objectName().isEmpty())
        setObjectName(QStringLiteral("OvListItemHeaderForm"));
    resize(383, 46);
    setMinimumSize(QSize(0, 46));

    horizontalLayout = new QHBoxLayout(this);
    horizontalLayout->setObjectName(QStringLiteral("horizontalLayout"));
    horizontalLayout->setContentsMargins(3, 0, 3, 0);

    labName = new QLabel(this);
    labName->setObjectName(QStringLiteral("labName"));
    horizontalLayout->addWidget(labName);

    horizontalLayout->addItem(
        new QSpacerItem(153, 20, QSizePolicy::Expanding, QSizePolicy::Minimum));

    btnUpgrade = new QPushButton(this);
    btnUpgrade->setObjectName(QStringLiteral("btnUpgrade"));
    QSizePolicy buttonPolicy(QSizePolicy::Preferred, QSizePolicy::Preferred);
    buttonPolicy.setHorizontalStretch(0);
    buttonPolicy.setVerticalStretch(0);
    buttonPolicy.setHeightForWidth(btnUpgrade->sizePolicy().hasHeightForWidth());
    btnUpgrade->setSizePolicy(buttonPolicy);
    btnUpgrade->setMinimumSize(QSize(100, 30));
    btnUpgrade->setMaximumSize(QSize(16777215, 35));
    horizontalLayout->addWidget(btnUpgrade);

    horizontalLayout->addItem(new QSpacerItem(20, 20, QSizePolicy::Fixed, QSizePolicy::Minimum));

    // Empty on purpose: the fold/unfold triangle comes from its style sheet.
    labExpand = new QLabel(this);
    labExpand->setObjectName(QStringLiteral("labExpand"));
    labExpand->setMinimumSize(QSize(20, 20));
    labExpand->setMaximumSize(QSize(20, 20));
    horizontalLayout->addWidget(labExpand);

    setWindowTitle(tr("WndRegListHeaderForm"));
    labName->setText(tr("--"));
    btnUpgrade->setText(tr("BtnUpgrade"));

    QMetaObject::connectSlotsByName(this);
}

void OvListItemHeaderForm::setIndex(tds4 index)
{
    this->index = index;
    normalStyleSheet = QStringLiteral("QWidget{background: rgb(255, 255, 255);border-radius:0px;}"
                                      "QLabel{background: transparent; color: black; font:bold;}");
    setStyleSheet(normalStyleSheet);
}

void OvListItemHeaderForm::setSelected(bool isSelected)
{
    this->isSelected = isSelected;
    setStyleSheet(isSelected ? selectedStyleSheet : normalStyleSheet);
    labExpand->setStyleSheet(isSelected ? unfoldStyleSheet : foldStyleSheet);
}

void OvListItemHeaderForm::setModuleInfo(OvModuleUpgradeInfo *info)
{
    if (!info)
        return;
    labName->setText(info->title);
    btnUpgrade->setText(info->projId == -1 ? tr("BtnStartUpgrade") : tr("BtnUpgradePage"));
    projId = info->projId;
    upgradeUrl = info->upgradeUrl;
    progress = -1.0f;

    for (const OvApplicationUpgradeInfo *application : info->applications) {
        if (!application || !application->isUpgradeAvailable)
            continue;
        if (application->isForceUpgrade) {
            // A forced upgrade cannot be stopped by the user, so the button goes away.
            btnUpgrade->hide();
            toggleUpgrade();
        } else {
            btnUpgrade->show();
        }
    }
}

void OvListItemHeaderForm::setProgress(float progress)
{
    this->progress = progress;
    update();
}

void OvListItemHeaderForm::resetUpgrade()
{
    isStartUpgrade = false;
    showStartState();
    setProgress(-1.0f);
}

void OvListItemHeaderForm::on_btnUpgrade_clicked()
{
    toggleUpgrade();
}

void OvListItemHeaderForm::toggleUpgrade()
{
    isStartUpgrade = !isStartUpgrade;
    emit sigUpgrade(projId, upgradeUrl, isStartUpgrade);
    showStartState();
}

void OvListItemHeaderForm::showStartState()
{
    // Other projects upgrade on their web page; their button always reads the same.
    if (projId == -1)
        btnUpgrade->setText(isStartUpgrade ? tr("BtnStopUpgrade") : tr("BtnStartUpgrade"));
}

void OvListItemHeaderForm::mousePressEvent(QMouseEvent *event)
{
    // The base handler leaves the event unaccepted, so the list still sees the press.
    QWidget::mousePressEvent(event);
    emit sigSelectChanged(index, !isSelected);
}

void OvListItemHeaderForm::paintEvent(QPaintEvent *event)
{
    Q_UNUSED(event)
    // A plain QWidget subclass draws no style-sheet background unless asked to.
    QStyleOption option;
    option.initFrom(this);
    QPainter painter(this);
    style()->drawPrimitive(QStyle::PE_Widget, &option, &painter, this);

    // Also rejects NaN.
    if (!(progress >= 0.0f))
        return;

    painter.fillRect(QRect(0, 0, progressBarWidth(width(), progress), height()), kProgressColor);
    painter.setPen(QPen(Qt::black));
    painter.drawText(QRect(0, 0, width(), height()), Qt::AlignTop | Qt::AlignHCenter,
                     progressText(progress));
}
