#include "common/OvTestZip.h"

#include <QFile>

#include <zip.h>

#include <cstring>

namespace OvTestZip {

bool write(const QString &path, const QList<QPair<QString, QByteArray>> &entries)
{
    const QByteArray encodedPath = QFile::encodeName(path);
    zipFile zf = zipOpen64(encodedPath.constData(), APPEND_STATUS_CREATE);
    if (!zf)
        return false;
    bool ok = true;
    for (const auto &entry : entries) {
        zip_fileinfo info;
        std::memset(&info, 0, sizeof info);
        info.tmz_date.tm_year = 2026;
        info.tmz_date.tm_mon = 11; // December, counted from 0
        info.tmz_date.tm_mday = 1;
        info.tmz_date.tm_hour = 12;
        const QByteArray name = entry.first.toUtf8();
        ok = ok && zipOpenNewFileInZip64(zf, name.constData(), &info, nullptr, 0, nullptr, 0,
                                         nullptr, Z_DEFLATED, Z_DEFAULT_COMPRESSION, 0) == ZIP_OK;
        if (ok && !entry.second.isEmpty())
            ok = zipWriteInFileInZip(zf, entry.second.constData(),
                                     static_cast<unsigned>(entry.second.size())) == ZIP_OK;
        ok = zipCloseFileInZip(zf) == ZIP_OK && ok;
        if (!ok)
            break;
    }
    return zipClose(zf, nullptr) == ZIP_OK && ok;
}

} // namespace OvTestZip
