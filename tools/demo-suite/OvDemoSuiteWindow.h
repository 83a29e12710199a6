#ifndef OVDEMOSUITEWINDOW_H
#define OVDEMOSUITEWINDOW_H

#include <QWidget>

// The demo suite's only window: its name and, large, its version, so that an update is
// visible at a glance and the window can be found by its title.
class OvDemoSuiteWindow : public QWidget
{
    Q_OBJECT

public:
    explicit OvDemoSuiteWindow(const QString &version, QWidget *parent = nullptr);

    // "Zenta demo suite 1.1"
    static QString titleFor(const QString &version);
};

#endif // OVDEMOSUITEWINDOW_H
