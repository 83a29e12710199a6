#ifndef OVTESTZIP_H
#define OVTESTZIP_H

#include <QByteArray>
#include <QList>

namespace OvTestZip {

// One entry as it goes into the archive, with every field a test may want to bend.
struct Entry
{
    Entry(const QByteArray &name = {}, const QByteArray &data = {}, int method = 8)
        : name(name), data(data), method(method)
    {
    }

    QByteArray name; // stored as is: any bytes except NUL, no encoding applied
    QByteArray data;
    int method = 8; // 0 stored, 8 deflated
    // Recorded local date and time (month 1-12), kept with the format's 2-second precision.
    int year = 2026, month = 12, day = 1, hour = 12, minute = 0, second = 0;
    QByteArray extraField; // written into both the local and the central header
    quint32 unixMode = 0;  // non-zero: made on Unix, with this st_mode in the external attributes
};

// Writes the entries as given, in order; a name ending with "/" makes a directory entry.
bool write(const QString &path, const QList<Entry> &entries);

} // namespace OvTestZip

#endif // OVTESTZIP_H
