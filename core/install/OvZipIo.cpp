#include "core/install/OvZipIo.h"

#include <QFile>

#include <cstdio>
#include <memory>

namespace {

// Large enough that a seek to the current position stays in the buffer almost always, small
// enough that one per thread of an install does not weigh.
constexpr size_t kStreamBuffer = 256 * 1024;

// The C library only takes a buffer of another size from the caller, who must keep it as long
// as the stream: both live here, and the stream calls go to minizip's own.
struct Stream
{
    FILE *file = nullptr;
    std::unique_ptr<char[]> buffer{new char[kStreamBuffer]};
};

const zlib_filefunc64_def &stdio()
{
    static const zlib_filefunc64_def io = [] {
        zlib_filefunc64_def calls;
        fill_fopen64_filefunc(&calls);
        return calls;
    }();
    return io;
}

FILE *fileOf(voidpf stream)
{
    return static_cast<Stream *>(stream)->file;
}

voidpf ZCALLBACK openStream(voidpf, const void *filename, int mode)
{
    if (!filename || (mode & ZLIB_FILEFUNC_MODE_READWRITEFILTER) != ZLIB_FILEFUNC_MODE_READ)
        return nullptr;
    auto stream = std::make_unique<Stream>();
    stream->file = std::fopen(static_cast<const char *>(filename), "rb");
    if (!stream->file)
        return nullptr;
    // Without the buffer the stream still works, only slower.
    std::setvbuf(stream->file, stream->buffer.get(), _IOFBF, kStreamBuffer);
    return stream.release();
}

uLong ZCALLBACK readStream(voidpf opaque, voidpf stream, void *buf, uLong size)
{
    return stdio().zread_file(opaque, fileOf(stream), buf, size);
}

uLong ZCALLBACK writeStream(voidpf opaque, voidpf stream, const void *buf, uLong size)
{
    return stdio().zwrite_file(opaque, fileOf(stream), buf, size);
}

ZPOS64_T ZCALLBACK tellStream(voidpf opaque, voidpf stream)
{
    return stdio().ztell64_file(opaque, fileOf(stream));
}

long ZCALLBACK seekStream(voidpf opaque, voidpf stream, ZPOS64_T offset, int origin)
{
    // minizip seeks to where the stream is before every read; the C library would still ask
    // the system where that is each time.
    if (origin == ZLIB_FILEFUNC_SEEK_SET && offset == tellStream(opaque, stream))
        return 0;
    return stdio().zseek64_file(opaque, fileOf(stream), offset, origin);
}

int ZCALLBACK closeStream(voidpf opaque, voidpf stream)
{
    const int result = stdio().zclose_file(opaque, fileOf(stream));
    delete static_cast<Stream *>(stream);
    return result;
}

int ZCALLBACK errorOf(voidpf opaque, voidpf stream)
{
    return stdio().zerror_file(opaque, fileOf(stream));
}

} // namespace

namespace OvZipIo {

unzFile open(const QString &zipPath)
{
    zlib_filefunc64_def io{openStream, readStream,  writeStream, tellStream,
                           seekStream, closeStream, errorOf,     nullptr};
    return unzOpen2_64(QFile::encodeName(zipPath).constData(), &io);
}

} // namespace OvZipIo
