#include "gui/window/OvZentaUpdateFormUi.h"

#include "gui/list/OvUpgradeListWidget.h"

#include <QCoreApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QMetaObject>
#include <QProgressBar>
#include <QPushButton>
#include <QSpacerItem>
#include <QVBoxLayout>
#include <QWidget>

void OvZentaUpdateFormUi::setupUi(QWidget *form)
{
    if (form->objectName().isEmpty())
        form->setObjectName(QStringLiteral("OvZentaUpdateForm"));
    form->resize(500, 500);

    verticalLayout = new QVBoxLayout(form);
    verticalLayout->setObjectName(QStringLiteral("verticalLayout"));
    horizontalLayout_2 = new QHBoxLayout();
    horizontalLayout_2->setObjectName(QStringLiteral("horizontalLayout_2"));
    labZentaVersionTip = new QLabel(form);
    labZentaVersionTip->setObjectName(QStringLiteral("labZentaVersionTip"));
    horizontalLayout_2->addWidget(labZentaVersionTip);
    horizontalSpacer = new QSpacerItem(40, 20, QSizePolicy::Expanding, QSizePolicy::Minimum);
    horizontalLayout_2->addItem(horizontalSpacer);
    verticalLayout->addLayout(horizontalLayout_2);

    wgtList = new OvUpgradeListWidget(form);
    wgtList->setObjectName(QStringLiteral("wgtList"));
    verticalLayout->addWidget(wgtList);

    horizontalLayout_4 = new QHBoxLayout();
    horizontalLayout_4->setObjectName(QStringLiteral("horizontalLayout_4"));
    progressBar = new QProgressBar(form);
    progressBar->setObjectName(QStringLiteral("progressBar"));
    progressBar->setValue(0);
    progressBar->setAlignment(Qt::AlignCenter);
    progressBar->setInvertedAppearance(false);
    horizontalLayout_4->addWidget(progressBar);
    horizontalSpacer_2 = new QSpacerItem(0, 20, QSizePolicy::Expanding, QSizePolicy::Minimum);
    horizontalLayout_4->addItem(horizontalSpacer_2);
    btnUpgrade = new QPushButton(form);
    btnUpgrade->setObjectName(QStringLiteral("btnUpgrade"));
    btnUpgrade->setMinimumSize(QSize(80, 25));
    horizontalLayout_4->addWidget(btnUpgrade);
    horizontalLayout_4->setStretch(0, 1);
    verticalLayout->addLayout(horizontalLayout_4);
    verticalLayout->setStretch(1, 1);

    retranslateUi(form);
    QMetaObject::connectSlotsByName(form);
}

void OvZentaUpdateFormUi::retranslateUi(QWidget *form)
{
    form->setWindowTitle(QCoreApplication::translate("OvZentaUpdateForm", "LabSoftwareUpdate"));
    labZentaVersionTip->setText(QString());
    progressBar->setFormat(QCoreApplication::translate("OvZentaUpdateForm", "%p%"));
    btnUpgrade->setText(QCoreApplication::translate("OvZentaUpdateForm", "BtnStartUpdate"));
}
