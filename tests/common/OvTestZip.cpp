#include "common/OvTestZip.h"

#include <QFile>

#include <zip.h>

#include <algorithm>
#include <cstring>

namespace {

// The zip format's CRC-32, bit by bit: test data is small, and zlib itself is not linked here.
uLong crc32Of(const QByteArray &data)
{
    quint32 crc = 0xffffffffu;
    for (const char c : data) {
        crc ^= static_cast<quint8>(c);
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc >> 1) ^ (0xedb88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

quint32 le32(const QByteArray &bytes, int at)
{
    quint32 value = 0;
    for (int i = 3; i >= 0; --i)
        value = (value << 8) | static_cast<quint8>(bytes.at(at + i));
    return value;
}

quint16 le16(const QByteArray &bytes, int at)
{
    return static_cast<quint16>(static_cast<quint8>(bytes.at(at)) |
                                (static_cast<quint8>(bytes.at(at + 1)) << 8));
}

void putLe16(QByteArray &bytes, int at, int value)
{
    bytes[at] = static_cast<char>(value & 0xff);
    bytes[at + 1] = static_cast<char>((value >> 8) & 0xff);
}

// minizip writes no method but 0 and 8, so entries with another method are written stored and
// get their method number afterwards, in the local and in the central header. The archive is
// one that minizip just wrote: local headers back to back, each followed by its data, sizes
// known, then the central directory and its end record.
bool patchMethods(const QString &path, const QList<OvTestZip::Entry> &entries)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadWrite))
        return false;
    QByteArray bytes = file.readAll();
    const int end = bytes.lastIndexOf(QByteArray("PK\x05\x06", 4));
    if (end < 0 || end + 22 > bytes.size())
        return false;
    int local = 0;
    int central = static_cast<int>(le32(bytes, end + 16));
    for (const OvTestZip::Entry &e : entries) {
        if (local + 30 > bytes.size() || central + 46 > bytes.size() ||
            le32(bytes, local) != 0x04034b50 || le32(bytes, central) != 0x02014b50)
            return false;
        if (e.method != 0 && e.method != Z_DEFLATED) {
            putLe16(bytes, local + 8, e.method);
            putLe16(bytes, central + 10, e.method);
        }
        local += 30 + le16(bytes, local + 26) + le16(bytes, local + 28) +
                 static_cast<int>(le32(bytes, local + 18));
        central +=
            46 + le16(bytes, central + 28) + le16(bytes, central + 30) + le16(bytes, central + 32);
    }
    return file.seek(0) && file.write(bytes) == bytes.size();
}

} // namespace

namespace OvTestZip {

Entry entry(const QString &name, const QByteArray &data)
{
    Entry e;
    e.name = name.toUtf8();
    e.data = data;
    return e;
}

bool write(const QString &path, const QList<QPair<QString, QByteArray>> &entries)
{
    QList<Entry> list;
    for (const auto &pair : entries)
        list.append(entry(pair.first, pair.second));
    return writeEntries(path, list);
}

bool writeEntries(const QString &path, const QList<Entry> &entries)
{
    const QByteArray encodedPath = QFile::encodeName(path);
    zipFile zf = zipOpen64(encodedPath.constData(), APPEND_STATUS_CREATE);
    if (!zf)
        return false;
    bool ok = true;
    for (const Entry &e : entries) {
        zip_fileinfo info;
        std::memset(&info, 0, sizeof info);
        info.tmz_date.tm_year = static_cast<uInt>(e.year);
        info.tmz_date.tm_mon = static_cast<uInt>(e.month - 1); // minizip counts from 0
        info.tmz_date.tm_mday = static_cast<uInt>(e.day);
        info.tmz_date.tm_hour = static_cast<uInt>(e.hour);
        info.tmz_date.tm_min = static_cast<uInt>(e.minute);
        info.tmz_date.tm_sec = static_cast<uInt>(e.second);

        // Other methods are written stored and renumbered afterwards: the bytes stand for data
        // compressed with that method.
        const bool deflate = e.method == Z_DEFLATED;
        const uLong crc = crc32Of(e.data);
        const void *extra = e.extraField.isEmpty() ? nullptr : e.extraField.constData();
        const uInt extraSize = static_cast<uInt>(e.extraField.size());
        ok = ok && zipOpenNewFileInZip3_64(
                       zf, e.name.constData(), &info, extra, extraSize, extra, extraSize, nullptr,
                       deflate ? Z_DEFLATED : 0, Z_DEFAULT_COMPRESSION, 0, -MAX_WBITS,
                       DEF_MEM_LEVEL, Z_DEFAULT_STRATEGY,
                       e.password.isEmpty() ? nullptr : e.password.constData(), crc, 0) == ZIP_OK;
        if (ok && !e.data.isEmpty())
            ok = zipWriteInFileInZip(zf, e.data.constData(),
                                     static_cast<unsigned>(e.data.size())) == ZIP_OK;
        ok = zipCloseFileInZip(zf) == ZIP_OK && ok;
        if (!ok)
            break;
    }
    ok = zipClose(zf, nullptr) == ZIP_OK && ok;
    const bool anyRenumbered = std::any_of(entries.cbegin(), entries.cend(), [](const Entry &e) {
        return e.method != 0 && e.method != Z_DEFLATED;
    });
    return ok && (!anyRenumbered || patchMethods(path, entries));
}

} // namespace OvTestZip
