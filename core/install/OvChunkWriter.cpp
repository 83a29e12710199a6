#include "core/install/OvChunkWriter.h"

#include <QDebug>
#include <QFile>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <unistd.h>
#endif

namespace {

// Writes through the descriptor where there is one: QFile's own write path asks the file
// system about the file (fstat, lseek) before its first write, two calls more per entry.
// Like QFile::write, it returns -1 only when nothing could be written.
qint64 writeOut(QFile &file, const char *data, qint64 size)
{
#ifdef Q_OS_UNIX
    const int fd = file.handle();
    if (fd >= 0) {
        qint64 written = 0;
        while (written < size) {
            const ssize_t ret = ::write(fd, data + written, static_cast<size_t>(size - written));
            if (ret > 0)
                written += ret;
            else if (ret == 0 || errno != EINTR)
                return written > 0 ? written : -1;
        }
        return written;
    }
#endif
    return file.write(data, size);
}

} // namespace

OvChunkWriter::OvChunkWriter(int bufferSize, QObject *parent)
    : QThread(parent), size(bufferSize), buffers{std::unique_ptr<char[]>(new char[bufferSize]),
                                                 std::unique_ptr<char[]>(new char[bufferSize])}
{
    start();
}

OvChunkWriter::~OvChunkWriter()
{
    drain();
    {
        const std::lock_guard<std::mutex> lock(mutex);
        isStopping = true;
        changed.notify_all();
    }
    wait();
}

void OvChunkWriter::submit(QFile *file, int used)
{
    std::unique_lock<std::mutex> lock(mutex);
    // The buffer handed over before this one is the one the walk fills next.
    while (pendingFile)
        changed.wait(lock);
    pendingFile = file;
    pendingData = buffers[fillIndex].get();
    pendingSize = used;
    fillIndex = 1 - fillIndex;
    changed.notify_all();
}

void OvChunkWriter::drain()
{
    std::unique_lock<std::mutex> lock(mutex);
    while (pendingFile)
        changed.wait(lock);
}

void OvChunkWriter::writeChunk(QFile &file, const char *data, int used)
{
    const qint64 written = writeOut(file, data, used);
    if (written != used)
        qDebug() << "OvZipHelper::upzip() - Write data has some wrong!!" << written << used;
}

void OvChunkWriter::run()
{
    std::unique_lock<std::mutex> lock(mutex);
    for (;;) {
        while (!pendingFile && !isStopping)
            changed.wait(lock);
        if (!pendingFile)
            return; // stopping, and nothing left to write
        QFile *file = pendingFile;
        const char *data = pendingData;
        const int used = pendingSize;
        lock.unlock();
        writeChunk(*file, data, used);
        lock.lock();
        pendingFile = nullptr;
        changed.notify_all();
    }
}
