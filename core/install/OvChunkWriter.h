#ifndef OVCHUNKWRITER_H
#define OVCHUNKWRITER_H

#include <QThread>

#include <condition_variable>
#include <memory>
#include <mutex>

class QFile;

// Writes an extraction's inflated data on a thread of its own, so that inflating the next
// chunks of a large entry and writing the ones before it overlap on two cores. Two buffers
// take turns: the walk fills one while the writer empties the other, so memory stays at two
// buffers whatever the size of the entry.
class OvChunkWriter : public QThread
{
    Q_OBJECT

public:
    explicit OvChunkWriter(int bufferSize, QObject *parent = nullptr);
    // Waits for what was handed over, then ends the thread.
    ~OvChunkWriter() override;

    int bufferSize() const { return size; }
    // The buffer for the walk to fill next; the writer never touches it until it is handed over.
    char *buffer() const { return buffers[fillIndex].get(); }
    // Hands the first `used` bytes of buffer() over to be appended to `file`, which must stay
    // open and untouched by the caller until drain(). The other buffer becomes buffer().
    void submit(QFile *file, int used);
    // Waits until everything handed over has been written.
    void drain();

    // Writes `data` to `file` whole, as far as the file takes it, and logs a short write. Used
    // by the writer thread and, for data that does not need it, by the walk directly.
    static void writeChunk(QFile &file, const char *data, int used);

protected:
    void run() override;

private:
    const int size;
    std::unique_ptr<char[]> buffers[2];
    int fillIndex = 0;

    // The standard library's lock rather than Qt's: ThreadSanitizer sees the pthread calls
    // behind it, and the hand-over can then be checked (Qt's slow paths are invisible to it).
    std::mutex mutex;
    std::condition_variable changed;
    // The job in flight, guarded by `mutex`: the writer clears `pendingFile` once it is written.
    QFile *pendingFile = nullptr;
    const char *pendingData = nullptr;
    int pendingSize = 0;
    bool isStopping = false;
};

#endif // OVCHUNKWRITER_H
