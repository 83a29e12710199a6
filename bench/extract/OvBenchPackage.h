#ifndef OVBENCHPACKAGE_H
#define OVBENCHPACKAGE_H

#include <QString>

// A deterministic stand-in for a desktop suite's update package: nested folders, a few large
// binaries, libraries and plugins, text-like documents, incompressible media and many tiny
// configuration files. The same variant always gives byte-identical content.
namespace OvBenchPackage {

struct Summary
{
    int files = 0;
    qint64 bytes = 0; // uncompressed
};

// Writes the package as a deflated zip. `small` gives a variant of about a tenth of the size
// for quick runs. Returns false (with the reason in `error`) when writing fails.
bool write(const QString &zipPath, bool small, Summary *summary, QString *error);

} // namespace OvBenchPackage

#endif // OVBENCHPACKAGE_H
