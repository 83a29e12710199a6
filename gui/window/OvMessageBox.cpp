#include "gui/window/OvMessageBox.h"

#include <QMessageBox>
#include <QPushButton>

int OvMessageBox::confirm(const QString &title, const QString &text)
{
    QMessageBox box(QMessageBox::Question, title, text, QMessageBox::Yes | QMessageBox::No, nullptr,
                    Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint);
    box.button(QMessageBox::Yes)->setText(tr("LabYes"));
    box.button(QMessageBox::No)->setText(tr("LabNo"));
    return box.exec();
}
