#ifndef OVMESSAGEBOX_H
#define OVMESSAGEBOX_H

#include <QObject>

// The one Yes/No question the updater asks. Never instantiated: the class carries the static
// operation and is the translation context of the two button texts.
class OvMessageBox : public QObject
{
    Q_OBJECT

public:
    // Runs a modal question box and returns the QMessageBox::StandardButton of the answer;
    // Escape and the close button answer No.
    static int confirm(const QString &title, const QString &text);

private:
    OvMessageBox() = default;
};

#endif // OVMESSAGEBOX_H
