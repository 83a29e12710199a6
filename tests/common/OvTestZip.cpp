#include "common/OvTestZip.h"

#include <QFile>

#include <zip.h>

namespace OvTestZip {

bool write(const QString &path, const QList<Entry> &entries)
{
    const QByteArray encodedPath = QFile::encodeName(path);
    zipFile zf = zipOpen64(encodedPath.constData(), APPEND_STATUS_CREATE);
    if (!zf)
        return false;
    bool ok = true;
    for (const Entry &e : entries) {
        zip_fileinfo info{}; // minizip counts months from 0
        info.tmz_date = {uInt(e.second), uInt(e.minute),    uInt(e.hour),
                         uInt(e.day),    uInt(e.month - 1), uInt(e.year)};
        const void *extra = e.extraField.isEmpty() ? nullptr : e.extraField.constData();
        const uInt extraSize = static_cast<uInt>(e.extraField.size());
        info.external_fa = uLong(e.unixMode) << 16;
        const uLong madeBy = e.unixMode ? (3 << 8) | 20 : 0; // Unix, or MS-DOS as minizip says
        ok = ok && zipOpenNewFileInZip4_64(zf, e.name.constData(), &info, extra, extraSize, extra,
                                           extraSize, nullptr, e.method, Z_DEFAULT_COMPRESSION, 0,
                                           -MAX_WBITS, DEF_MEM_LEVEL, Z_DEFAULT_STRATEGY, nullptr,
                                           0, madeBy, 0, 0) == ZIP_OK;
        if (ok && !e.data.isEmpty())
            ok = zipWriteInFileInZip(zf, e.data.constData(),
                                     static_cast<unsigned>(e.data.size())) == ZIP_OK;
        ok = zipCloseFileInZip(zf) == ZIP_OK && ok;
        if (!ok)
            break;
    }
    return zipClose(zf, nullptr) == ZIP_OK && ok;
}

} // namespace OvTestZip
