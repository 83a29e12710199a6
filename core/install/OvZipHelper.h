#ifndef OVZIPHELPER_H
#define OVZIPHELPER_H

#include "core/suite/OvTypes.h"

#include <QObject>

class QString;

// Extracts a zip package over a directory, entry by entry, overwriting what is there. Meant
// to run on a pool thread: it reports only through its two signals (and the return value,
// which equals the finished signal's value).
class OvZipHelper : public QObject
{
    Q_OBJECT

public:
    explicit OvZipHelper(QObject *parent = nullptr);

    // Runs to the end on the calling thread: one progress signal per entry, then exactly one
    // finished signal. Entries that fail on their own do not make the result false.
    bool upzip(const QString &zipPath, const QString &destDir);

signals:
    void sigUpZipProgress(tds8 unzipFileNum, tds8 totalFileNum);
    void sigUpZipFinished(bool isSucc);

private:
    bool finish(void *archive, bool isSucc);
};

#endif // OVZIPHELPER_H
