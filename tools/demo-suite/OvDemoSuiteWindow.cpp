#include "tools/demo-suite/OvDemoSuiteWindow.h"

#include <QCoreApplication>
#include <QDir>
#include <QLabel>
#include <QVBoxLayout>

OvDemoSuiteWindow::OvDemoSuiteWindow(const QString &version, QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("OvDemoSuiteWindow"));
    setWindowTitle(titleFor(version));
    setMinimumSize(520, 280);
    setStyleSheet(QStringLiteral("QWidget#OvDemoSuiteWindow { background: #1f2933; }"
                                 "QLabel { color: #f5f7fa; }"));

    auto *name = new QLabel(QStringLiteral("Zenta demo suite"), this);
    name->setObjectName(QStringLiteral("labName"));
    name->setStyleSheet(QStringLiteral("font-size: 24px;"));
    auto *versionLabel = new QLabel(QStringLiteral("Version ") + version, this);
    versionLabel->setObjectName(QStringLiteral("labVersion"));
    versionLabel->setStyleSheet(QStringLiteral("font-size: 64px; font-weight: bold;"));
    auto *place =
        new QLabel(QDir::toNativeSeparators(QCoreApplication::applicationDirPath()), this);
    place->setObjectName(QStringLiteral("labPlace"));
    place->setStyleSheet(QStringLiteral("font-size: 11px; color: #9aa5b1;"));

    auto *layout = new QVBoxLayout(this);
    layout->addStretch();
    for (QLabel *label : {name, versionLabel, place}) {
        label->setAlignment(Qt::AlignCenter);
        layout->addWidget(label);
    }
    layout->addStretch();
}

QString OvDemoSuiteWindow::titleFor(const QString &version)
{
    return QStringLiteral("Zenta demo suite ") + version;
}
