#ifndef OVTESTPROXY_H
#define OVTESTPROXY_H

#include <QProcess>
#include <QString>

// A real tinyproxy on 127.0.0.1, on a port chosen at run time, with a configuration file of
// its own in the test's directory; killed with its QProcess when it goes out of scope.
class OvTestProxy
{
public:
    // Starts it, asking for `user` and `password` when `user` is not empty; false (and why in
    // `error`) when it does not listen within a few seconds.
    bool start(const QString &dir, const QString &user, const QString &password, QString *error);
    int port() const { return boundPort; }
    // What it logged so far (one line per connection and request).
    QString log() const;

private:
    QProcess process;
    QString logPath;
    int boundPort = -1;
};

#endif // OVTESTPROXY_H
