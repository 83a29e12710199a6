#ifndef OVZENTAUPDATEFORMUI_H
#define OVZENTAUPDATEFORMUI_H

class OvUpgradeListWidget;
class QHBoxLayout;
class QLabel;
class QProgressBar;
class QPushButton;
class QSpacerItem;
class QVBoxLayout;
class QWidget;

// The update window's widgets, built in code the way a form would build them. The widgets
// are children of the window; this structure only points to them.
struct OvZentaUpdateFormUi
{
    QVBoxLayout *verticalLayout = nullptr;
    QHBoxLayout *horizontalLayout_2 = nullptr;
    QLabel *labZentaVersionTip = nullptr;
    QSpacerItem *horizontalSpacer = nullptr;
    OvUpgradeListWidget *wgtList = nullptr;
    QHBoxLayout *horizontalLayout_4 = nullptr;
    QProgressBar *progressBar = nullptr;
    QSpacerItem *horizontalSpacer_2 = nullptr;
    QPushButton *btnUpgrade = nullptr;

    void setupUi(QWidget *form);
    void retranslateUi(QWidget *form);
};

#endif // OVZENTAUPDATEFORMUI_H
