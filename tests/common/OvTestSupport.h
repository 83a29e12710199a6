#ifndef OVTESTSUPPORT_H
#define OVTESTSUPPORT_H

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <condition_variable>
#include <mutex>

namespace OvTestSupport {

// Folder of the third-party test corpora, or an empty string when it is not there.
QString corporaDir();

// Writes a self-signed certificate for 127.0.0.1 and its key into `dir` with the openssl
// command. Returns false (and says why in `error`) when that fails.
bool makeSelfSignedCertificate(const QString &dir, QString *certPath, QString *keyPath,
                               QString *error);

// Collects the text of every message logged while it is alive, for tests that check log lines
// which QTest::ignoreMessage cannot match exactly (several items, quoting).
class LogCapture
{
public:
    LogCapture();
    ~LogCapture();
    QStringList lines() const;
    bool contains(const QString &text) const;
    int count(const QString &text) const;
};

} // namespace OvTestSupport

// A gate that server handler threads wait on until the test opens it, so that a slow or stuck
// response never outlives its test.
class OvTestGate
{
public:
    // Waits until open() or until `ms` have passed; true when opened.
    bool wait(int ms);
    void open();

private:
    std::mutex mutex;
    std::condition_variable cv;
    bool isOpen = false;
};

#endif // OVTESTSUPPORT_H
