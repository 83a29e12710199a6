#ifndef OVZENTAUPDATEINFO_H
#define OVZENTAUPDATEINFO_H

#include <QMetaType>
#include <QString>

// What one successful upgrade query offers. A plain value, copied freely and carried by
// queued signals under the meta-type name "OvZentaUpdateInfo".
class OvZentaUpdateInfo
{
public:
    OvZentaUpdateInfo() = default;
    OvZentaUpdateInfo(const OvZentaUpdateInfo &other) = default;
    OvZentaUpdateInfo &operator=(const OvZentaUpdateInfo &other) = default;
    virtual ~OvZentaUpdateInfo() = default;

    // Back to the state of a fresh record: empty texts, importance level 2.
    void clear();

    QString cdt;
    quint32 importanceLevel = 2; // 1 marks an update that starts by itself
    QString description;
    QString version;
    QString url;
    // The package's minisign signature file, base64-encoded; empty when the answer had none.
    QString signature;
};

Q_DECLARE_METATYPE(OvZentaUpdateInfo)

#endif // OVZENTAUPDATEINFO_H
