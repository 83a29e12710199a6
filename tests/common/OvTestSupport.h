#ifndef OVTESTSUPPORT_H
#define OVTESTSUPPORT_H

#include <QStringList>

#include <condition_variable>
#include <mutex>

namespace OvTestSupport {

QByteArray readFile(const QString &path);
bool writeFile(const QString &path, const QByteArray &data);

// Writes a self-signed certificate for 127.0.0.1 and its key into `dir` with the openssl
// command, with `trusted` trusted process-wide as a system CA would be. Returns false (and says
// why in `error`) when that fails.
bool makeSelfSignedCertificate(const QString &dir, QString *certPath, QString *keyPath,
                               QString *error, bool trusted = false);

// Collects the text of every message logged while it is alive, for tests that check log lines
// which QTest::ignoreMessage cannot match exactly (several items, quoting).
class LogCapture
{
public:
    LogCapture();
    ~LogCapture();
    QStringList lines() const;
    bool contains(const QString &text) const { return lines().join('\n').contains(text); }
};

} // namespace OvTestSupport

// A gate that server handler threads wait on until the test opens it, so that a slow or stuck
// response never outlives its test.
class OvTestGate
{
public:
    bool wait(int ms);
    void open();

private:
    std::mutex mutex;
    std::condition_variable cv;
    bool isOpen = false;
};

#endif // OVTESTSUPPORT_H
