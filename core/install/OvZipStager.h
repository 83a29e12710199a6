#ifndef OVZIPSTAGER_H
#define OVZIPSTAGER_H

#include <QDateTime>
#include <QFile>
#include <QSet>
#include <QString>

#include <memory>

// Inflates single entries of a package into the staging folder. Each thread of an install has
// one, with its own archive handle and buffer, so that entries can be staged side by side and
// memory stays at one buffer per thread whatever the package holds.
class OvZipStager
{
public:
    // What the walk over the archive's directory decided about one entry.
    struct Entry
    {
        quint64 offset = 0; // of its central directory record, for unzSetOffset64
        quint64 size = 0;   // recorded uncompressed size
        QString relative;   // clean path below the destination; empty: not extracted
        bool isDirectory = false;
        QFileDevice::Permissions rights; // none: what a new file gets
        quint32 flag = 0;
        quint32 method = 0;
        QDateTime time; // recorded local date and time
        bool hasExtraField = false;
    };

    enum class Result
    {
        Done,
        Unreadable, // the archive's data is not what it records (checksum, damage, method)
        Unwritable  // the staged file could not be written whole (disk full, no rights)
    };

    OvZipStager(const QString &zipPath, const QString &stagingDir);
    ~OvZipStager();
    OvZipStager(const OvZipStager &) = delete;
    OvZipStager &operator=(const OvZipStager &) = delete;

    // Writes the entry's data below the staging folder, whole, or says why not in `error`.
    Result stage(const Entry &entry, QString *error);

private:
    bool makeDir(const QString &path);
    Result fail(Result result, const QString &why, QString *error);

    void *archive = nullptr;
    const QString stagingDir;
    QSet<QString> madeDirs; // known to exist: made or found by this stager
    std::unique_ptr<char[]> buffer;
    QFile file;
};

#endif // OVZIPSTAGER_H
