#ifndef OVZIPHELPER_H
#define OVZIPHELPER_H

#include "core/suite/OvTypes.h"

#include <QObject>
#include <QString>

// Installs a zip package over a directory, all or nothing: the entries are staged beside the
// installation and then swapped in by rename, and any failure leaves the directory as it was.
// Meant to run on a pool thread: it reports through its two signals, the return value (which
// equals the finished signal's value) and error()/errorString() for the last failure.
class OvZipHelper : public QObject
{
    Q_OBJECT

public:
    enum class Error
    {
        NoError,
        ArchiveMissing,
        DestinationNotCreated,
        ArchiveUnreadable, // not a zip archive, or its directory is damaged
        NoSpace,           // the recorded sizes do not fit onto the volume
        EntryUnreadable,   // an entry's data is damaged, encrypted or of an unknown method
        EntryNotWritten,   // an entry could not be staged whole (disk full, no rights)
        TargetNotReplaced, // a file of the installation could not be replaced
        StateNotWritten    // the journal or the staging folder could not be written
    };
    Q_ENUM(Error)

    explicit OvZipHelper(QObject *parent = nullptr);

    // Runs to the end on the calling thread: one progress signal per staged entry, in order,
    // then exactly one finished signal.
    bool upzip(const QString &zipPath, const QString &destDir);

    Error error() const { return lastError; }
    QString errorString() const { return lastErrorString; }

signals:
    void sigUpZipProgress(tds8 unzipFileNum, tds8 totalFileNum);
    void sigUpZipFinished(bool isSucc);

private:
    bool finish(Error error, const QString &why = QString());

    Error lastError = Error::NoError;
    QString lastErrorString;
};

#endif // OVZIPHELPER_H
