#include "gui/list/OvListItemBodyForm.h"

#include "gui/list/OvApplicationUpgradeInfo.h"
#include "gui/list/OvModuleUpgradeInfo.h"

#include <QTextBrowser>
#include <QTextDocument>
#include <QVBoxLayout>

OvListItemBodyForm::OvListItemBodyForm(QWidget *parent) : QWidget(parent)
{
    setupUi();
}

void OvListItemBodyForm::setupUi()
{
    if (objectName().isEmpty())
        setObjectName(QStringLiteral("OvListItemBodyForm"));
    resize(400, 200);

    vlMain = new QVBoxLayout(this);
    vlMain->setObjectName(QStringLiteral("vlMain"));
    vlMain->setSpacing(0);
    vlMain->setContentsMargins(0, 0, 0, 0);

    // The browser keeps its defaults; its look comes from the application style sheet.
    textBrowser = new QTextBrowser(this);
    textBrowser->setObjectName(QStringLiteral("textBrowser"));
    vlMain->addWidget(textBrowser);

    setWindowTitle(tr("WndRegListBodyForm"));
}

void OvListItemBodyForm::setLanguage(const QString &language)
{
    this->language = language;
}

void OvListItemBodyForm::setModuleInfo(OvModuleUpgradeInfo *info)
{
    if (!info)
        return;
    // setText() decides between rich and plain text, so descriptions may carry markup.
    textBrowser->setText(upgradeText(*info));
}

QString OvListItemBodyForm::upgradeText(const OvModuleUpgradeInfo &info) const
{
    const bool isChinese = language == QLatin1String("zh_CN");
    QString text;
    for (const OvApplicationUpgradeInfo *application : info.applications) {
        if (!application || !application->isUpgradeAvailable)
            continue;
        // The suite's own row needs no name line: its title already says what it is.
        if (info.projId != -1) {
            text += QStringLiteral("%1%2V%3\n")
                        .arg(isChinese ? application->chineseName : application->englishName,
                             tr("LabUpgradeAvailable"), application->version);
        }
        text += isChinese ? application->chineseDescription : application->englishDescription;
        text += QStringLiteral("\n\n\n");
    }
    return text;
}

int OvListItemBodyForm::fitHeight()
{
    const int documentHeight = static_cast<int>(textBrowser->document()->size().height());
    textBrowser->setFixedHeight(documentHeight);
    resize(width(), textBrowser->height());
    return height();
}
