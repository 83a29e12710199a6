#include "core/install/OvZipEntryMode.h"

namespace {

constexpr quint32 kHostUnix = 3;
constexpr quint32 kHostMac = 19;
constexpr quint32 kTypeMask = 0170000;
constexpr quint32 kTypeRegular = 0100000;

} // namespace

namespace OvZipEntryMode {

QFileDevice::Permissions permissions(quint32 versionMadeBy, quint32 externalAttributes)
{
    const quint32 host = versionMadeBy >> 8;
    const quint32 mode = externalAttributes >> 16;
    const quint32 type = mode & kTypeMask;
    if ((host != kHostUnix && host != kHostMac) || (type != 0 && type != kTypeRegular) ||
        !(mode & 0400))
        return {};

    QFileDevice::Permissions rights = QFileDevice::ReadOwner | QFileDevice::ReadUser |
                                      QFileDevice::WriteOwner | QFileDevice::WriteUser;
    if (mode & 0100)
        rights |= QFileDevice::ExeOwner | QFileDevice::ExeUser;
    if (mode & 040)
        rights |= QFileDevice::ReadGroup;
    if (mode & 010)
        rights |= QFileDevice::ExeGroup;
    if (mode & 04)
        rights |= QFileDevice::ReadOther;
    if (mode & 01)
        rights |= QFileDevice::ExeOther;
    return rights;
}

} // namespace OvZipEntryMode
