#ifndef OVLISTITEMBODYFORM_H
#define OVLISTITEMBODYFORM_H

#include <QString>
#include <QWidget>

class OvModuleUpgradeInfo;
class QTextBrowser;
class QVBoxLayout;

// Lower part of a list row, shown while the row is expanded: the upgrade texts of the module's
// available applications in the row's language.
class OvListItemBodyForm : public QWidget
{
    Q_OBJECT

public:
    explicit OvListItemBodyForm(QWidget *parent = nullptr);

    // Takes effect with the next setModuleInfo().
    void setLanguage(const QString &language);
    // A null record leaves the shown text as it is.
    void setModuleInfo(OvModuleUpgradeInfo *info);
    // Sizes the browser to its document and returns the body's resulting height, which still
    // honours the body's own minimum and maximum.
    int fitHeight();

private:
    void setupUi();
    QString upgradeText(const OvModuleUpgradeInfo &info) const;

    QString language = QStringLiteral("zh_CN");
    QVBoxLayout *vlMain = nullptr;
    QTextBrowser *textBrowser = nullptr;
};

#endif // OVLISTITEMBODYFORM_H
