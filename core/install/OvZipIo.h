#ifndef OVZIPIO_H
#define OVZIPIO_H

#include <unzip.h>

class QString;

// How minizip reads a package. It seeks before every 16 KB it reads, even to where it already
// is; through a stream with the C library's 4 KB buffer each such seek costs a system call and
// two reads. A stream with a large buffer serves most of them from memory.
namespace OvZipIo {

// Opens the package for reading, or returns null as unzOpen64() does.
unzFile open(const QString &zipPath);

} // namespace OvZipIo

#endif // OVZIPIO_H
