#include "core/install/OvZipIo.h"

#include <QFile>

namespace {

const zlib_filefunc64_def &stdio()
{
    static const zlib_filefunc64_def io = [] {
        zlib_filefunc64_def calls;
        fill_fopen64_filefunc(&calls);
        return calls;
    }();
    return io;
}

long ZCALLBACK seekStream(voidpf opaque, voidpf stream, ZPOS64_T offset, int origin)
{
    if (origin == ZLIB_FILEFUNC_SEEK_SET && offset == stdio().ztell64_file(opaque, stream))
        return 0;
    return stdio().zseek64_file(opaque, stream, offset, origin);
}

} // namespace

namespace OvZipIo {

unzFile open(const QString &zipPath)
{
    zlib_filefunc64_def io = stdio();
    io.zseek64_file = seekStream;
    return unzOpen2_64(QFile::encodeName(zipPath).constData(), &io);
}

} // namespace OvZipIo
