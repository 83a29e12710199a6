#ifndef OVZIPENTRYMODE_H
#define OVZIPENTRYMODE_H

#include <QFileDevice>

// Which access rights an extracted file takes from its archive entry. Kept free of any
// file-system access so that the rule can be checked on its own.
namespace OvZipEntryMode {

// The rights for a regular file whose entry was made on a Unix-like system (host 3, or 19 for
// macOS) and records its mode in the high half of the external attributes: the read and
// execute bits as recorded, so that a new program or script can be run, plus write for the
// owner, so that the next update can replace the file again. Never write for group or others,
// never set-user-id, set-group-id or sticky. No rights (leave the file as writing made it) for
// entries from other systems, links, directories and modes the owner could not even read.
QFileDevice::Permissions permissions(quint32 versionMadeBy, quint32 externalAttributes);

} // namespace OvZipEntryMode

#endif // OVZIPENTRYMODE_H
