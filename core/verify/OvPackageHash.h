#ifndef OVPACKAGEHASH_H
#define OVPACKAGEHASH_H

#include <QByteArray>

#include <memory>

class QString;
struct crypto_generichash_blake2b_state;

// BLAKE2b-512 of a package, the hash minisign signs, taken piece by piece: from the bytes of a
// download as they arrive, or from a file read in chunks, so that no package is ever held in
// memory. Not thread-safe; one object per package.
class OvPackageHash
{
public:
    OvPackageHash();
    ~OvPackageHash();
    OvPackageHash(const OvPackageHash &) = delete;
    OvPackageHash &operator=(const OvPackageHash &) = delete;

    // Starts again from no bytes.
    void reset();
    void addData(const char *data, qint64 size);
    // Adds the whole of the file at `path`. On a read failure the hash is left incomplete and
    // `why` says what failed; the caller must then reset() or drop it.
    bool addFile(const QString &path, QString *why);
    // The 64-byte hash of what was added so far; more can still be added afterwards.
    QByteArray result() const;

    // The hash of the whole file at `path`; empty, with `why` set if given, when it cannot be
    // read.
    static QByteArray ofFile(const QString &path, QString *why = nullptr);

private:
    struct StateDeleter
    {
        void operator()(crypto_generichash_blake2b_state *state) const;
    };
    std::unique_ptr<crypto_generichash_blake2b_state, StateDeleter> state;
};

#endif // OVPACKAGEHASH_H
