#ifndef OVDESKTOP_H
#define OVDESKTOP_H

#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

// A desktop of its own for end-to-end runs: a virtual X server with a window manager, and the
// input a user gives it (keys, closing a window by its title bar's close request), all
// through the real X tools, so that the programs under test get real events.
class OvDesktop
{
public:
    OvDesktop() = default;
    ~OvDesktop();
    OvDesktop(const OvDesktop &) = delete;
    OvDesktop &operator=(const OvDesktop &) = delete;

    // Starts Xvfb on a free display and openbox on it; false (with the reason) when it cannot.
    // Both end with the desktop.
    bool start(QString *error);

    // The environment for a program that should appear on this desktop.
    QProcessEnvironment environment() const;

    // The id of a shown window whose title matches `titleRegExp`, waiting up to `timeoutMs`;
    // empty when there is none by then.
    QString waitForWindow(const QString &titleRegExp, int timeoutMs) const;
    // The ids of the shown windows whose title matches, now.
    QStringList windows(const QString &titleRegExp) const;

    void key(const QString &windowId, const QString &keys) const;
    // Asks the window to close, as its close button does.
    void requestClose(const QString &windowId) const;

private:
    // Runs a tool on this desktop; its standard output.
    QByteArray run(const QString &program, const QStringList &args, int *exitCode = nullptr) const;

    QProcess xvfb;
    QProcess windowManager;
    QString display;
};

#endif // OVDESKTOP_H
