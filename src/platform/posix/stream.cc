// _fsopen: C runtime streams in the Windows manner. A text-mode stream ("t", or neither "t" nor
// "b") writes every line feed as CR LF. Output is held in a 4096-character buffer, taken at the
// first write shorter than that; a full buffer goes to the file when a further character comes,
// and the rest at fclose. A write of 4096 characters or more that finds the buffer empty or full
// sends what is held and then whole multiples of 4096 straight out. fflush does not reach the
// buffer. The share flag is accepted and not enforced: POSIX files are always shared.
#include <cerrno>
#include <cstring>
#include <string>
#include <fcntl.h>
#include <unistd.h>

#include "platform/posix/standin.h"

namespace {

constexpr size_t kStreamBuffer = 4096;

struct Sink {
    int fd;
    bool text;
    bool buffered;     // the buffer is taken
    std::string held;  // at most kStreamBuffer characters, not yet translated
};

// Writes `count` characters to the file, line feeds as CR LF in text mode.
bool WriteOut(const Sink& sink, const char* bytes, size_t count) {
    std::string out;
    out.reserve(count * 2);
    for (size_t i = 0; i < count; ++i) {
        if (bytes[i] == '\n' && sink.text) {
            out += '\r';
        }
        out += bytes[i];
    }
    size_t done = 0;
    return standin::WriteAll(sink.fd, out.data(), out.size(), done);
}

bool Flush(Sink& sink) {
    bool written = WriteOut(sink, sink.held.data(), sink.held.size());
    sink.held.clear();
    return written;
}

ssize_t SinkWrite(void* cookie, const char* bytes, size_t count) {
    Sink* sink = static_cast<Sink*>(cookie);
    size_t done = 0;
    while (done < count) {
        size_t left = count - done;
        size_t room = kStreamBuffer - sink->held.size();
        if (sink->buffered && room > 0) {
            size_t part = left < room ? left : room;
            sink->held.append(bytes + done, part);
            done += part;
        } else if (left >= kStreamBuffer) {
            size_t part = left - left % kStreamBuffer;
            if (!Flush(*sink) || !WriteOut(*sink, bytes + done, part)) {
                return -1;
            }
            done += part;
        } else {
            if (!Flush(*sink)) {
                return -1;
            }
            sink->buffered = true;
            sink->held += bytes[done++];
        }
    }
    return static_cast<ssize_t>(count);
}

ssize_t SinkRead(void* cookie, char* bytes, size_t count) {
    Sink* sink = static_cast<Sink*>(cookie);
    ssize_t n;
    do {
        n = read(sink->fd, bytes, count);
    } while (n < 0 && errno == EINTR);
    return n;
}

int SinkClose(void* cookie) {
    Sink* sink = static_cast<Sink*>(cookie);
    bool flushed = Flush(*sink);
    int result = close(sink->fd) == 0 && flushed ? 0 : -1;
    delete sink;
    return result;
}

}  // namespace

FILE* __cdecl _fsopen(const char* fileName, const char* mode, int) {
    if (fileName == nullptr || mode == nullptr) {
        errno = EINVAL;
        return nullptr;
    }
    bool plus = std::strchr(mode, '+') != nullptr;
    int flags;
    switch (mode[0]) {
        case 'r':
            flags = plus ? O_RDWR : O_RDONLY;
            break;
        case 'w':
            flags = (plus ? O_RDWR : O_WRONLY) | O_CREAT | O_TRUNC;
            break;
        case 'a':
            flags = (plus ? O_RDWR : O_WRONLY) | O_CREAT | O_APPEND;
            break;
        default:
            errno = EINVAL;
            return nullptr;
    }
    int fd = open(standin::HostPath(fileName).c_str(), flags | O_CLOEXEC, 0666);
    if (fd < 0) {
        return nullptr;
    }
    Sink* sink = new Sink{fd, std::strchr(mode, 'b') == nullptr, false, std::string()};
    cookie_io_functions_t functions = {SinkRead, SinkWrite, nullptr, SinkClose};
    FILE* stream = fopencookie(sink, plus ? "r+" : (mode[0] == 'r' ? "r" : "w"), functions);
    if (stream == nullptr) {
        SinkClose(sink);
        return nullptr;
    }
    setvbuf(stream, nullptr, _IONBF, 0);  // the sink does the buffering, in the runtime's way
    return stream;
}
