#ifndef OVLISTITEMHEADERFORM_H
#define OVLISTITEMHEADERFORM_H

#include "core/suite/OvTypes.h"

#include <QString>
#include <QWidget>

class OvModuleUpgradeInfo;
class QHBoxLayout;
class QLabel;
class QPushButton;

// The 46-pixel strip on top of a list row: title, start/stop button, expander icon and, while
// a download runs, a progress bar painted across the strip. It only reports what the user
// asked for; the list decides and calls back.
class OvListItemHeaderForm : public QWidget
{
    Q_OBJECT

public:
    explicit OvListItemHeaderForm(QWidget *parent = nullptr);

    // Position of the row in the list; also gives the strip its collapsed look.
    void setIndex(tds4 index);
    void setSelected(bool isSelected);
    // A null record does nothing. A forced application starts the upgrade from in here.
    void setModuleInfo(OvModuleUpgradeInfo *info);
    // A fraction of 0..1; a negative value hides bar and text.
    void setProgress(float progress);
    // Back to "not started" without emitting, e.g. after the user declined a retry.
    void resetUpgrade();

signals:
    void sigSelectChanged(tds4 index, bool isSelected);
    void sigUpgrade(tds4 projId, const QString &upgradeUrl, bool isStartUpgrade);

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private slots:
    void on_btnUpgrade_clicked();

private:
    void setupUi();
    // Flips the start state, reports it and relabels the suite's button.
    void toggleUpgrade();
    void showStartState();

    tds4 index = 0;
    bool isSelected = false;
    QString normalStyleSheet;
    QString selectedStyleSheet;
    QString foldStyleSheet;
    QString unfoldStyleSheet;
    QString buttonStyleSheet;
    // Not the suite until a record says so: an unfilled row must not start the update.
    tds4 projId = 0;
    QString upgradeUrl;
    float progress = -1.0f;
    bool isStartUpgrade = false;

    QHBoxLayout *horizontalLayout = nullptr;
    QLabel *labName = nullptr;
    QPushButton *btnUpgrade = nullptr;
    QLabel *labExpand = nullptr;
};

#endif // OVLISTITEMHEADERFORM_H
