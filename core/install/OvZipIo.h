#ifndef OVZIPIO_H
#define OVZIPIO_H

#include <unzip.h>

class QString;

// How minizip reads a package. It seeks before every 16 KB it inflates, even to where the
// stream already is, and the C library then asks the system for the position again and drops
// what it has buffered: a system call and a short read more for every read. Here a seek to the
// current position does nothing.
namespace OvZipIo {

// Opens the package for reading, or returns null as unzOpen64() does.
unzFile open(const QString &zipPath);

} // namespace OvZipIo

#endif // OVZIPIO_H
