#include "core/verify/OvPackageHash.h"

#include <QDebug>
#include <QFile>
#include <QString>

#include <sodium.h>

namespace {

// Large enough that the hash, not the calls, sets the pace; small enough for any machine.
constexpr qint64 kChunkBytes = 1024 * 1024;

} // namespace

void OvPackageHash::StateDeleter::operator()(crypto_generichash_blake2b_state *state) const
{
    delete state;
}

OvPackageHash::OvPackageHash() : state(new crypto_generichash_blake2b_state)
{
    reset();
}

OvPackageHash::~OvPackageHash() = default;

void OvPackageHash::reset()
{
    // Picks the fastest BLAKE2b code for this processor; thread-safe and cheap after the first
    // call. Should it ever fail, the portable code still gives the same hash, only slower.
    if (sodium_init() < 0)
        qDebug("libsodium could not be initialised: hashing with its portable code");
    crypto_generichash_blake2b_init(state.get(), nullptr, 0, crypto_generichash_blake2b_BYTES_MAX);
}

void OvPackageHash::addData(const char *data, qint64 size)
{
    crypto_generichash_blake2b_update(state.get(), reinterpret_cast<const unsigned char *>(data),
                                      static_cast<unsigned long long>(size));
}

bool OvPackageHash::addFile(const QString &path, QString *why)
{
    QFile file(path);
    // Read straight into the chunk: QFile's own buffer would only add a copy.
    if (!file.open(QIODevice::ReadOnly | QIODevice::Unbuffered)) {
        *why = file.errorString();
        return false;
    }
    QByteArray chunk(static_cast<int>(kChunkBytes), Qt::Uninitialized);
    qint64 read = 0;
    while ((read = file.read(chunk.data(), kChunkBytes)) > 0)
        addData(chunk.constData(), read);
    if (read < 0) {
        *why = file.errorString();
        return false;
    }
    return true;
}

QByteArray OvPackageHash::result() const
{
    // Finishing consumes the state, so finish a copy: the caller may go on adding.
    crypto_generichash_blake2b_state copy = *state;
    QByteArray hash(crypto_generichash_blake2b_BYTES_MAX, Qt::Uninitialized);
    crypto_generichash_blake2b_final(&copy, reinterpret_cast<unsigned char *>(hash.data()),
                                     static_cast<size_t>(hash.size()));
    return hash;
}

QByteArray OvPackageHash::ofFile(const QString &path, QString *why)
{
    OvPackageHash hash;
    QString reason;
    if (hash.addFile(path, &reason))
        return hash.result();
    if (why)
        *why = reason;
    return {};
}
