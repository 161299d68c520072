// _fsopen: C runtime streams in the Windows manner. A text-mode stream ("t", or neither "t" nor
// "b") writes every line feed as CR LF. Output is held in a 4096-character buffer that goes to the
// file whole when a further character comes, and the rest at fclose; fflush does not reach it.
// The share flag is accepted and not enforced: POSIX files are always shared.
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
    std::string held;  // at most kStreamBuffer characters, not yet translated
};

// Writes out what the sink holds, line feeds as CR LF in text mode.
bool Flush(Sink& sink) {
    std::string out;
    out.reserve(sink.held.size() * 2);
    for (char c : sink.held) {
        if (c == '\n' && sink.text) {
            out += '\r';
        }
        out += c;
    }
    sink.held.clear();
    size_t done = 0;
    return standin::WriteAll(sink.fd, out.data(), out.size(), done);
}

ssize_t SinkWrite(void* cookie, const char* bytes, size_t count) {
    Sink* sink = static_cast<Sink*>(cookie);
    for (size_t i = 0; i < count; ++i) {
        if (sink->held.size() == kStreamBuffer && !Flush(*sink)) {
            return -1;
        }
        sink->held += bytes[i];
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
    Sink* sink = new Sink{fd, std::strchr(mode, 'b') == nullptr, std::string()};
    cookie_io_functions_t functions = {SinkRead, SinkWrite, nullptr, SinkClose};
    FILE* stream = fopencookie(sink, plus ? "r+" : (mode[0] == 'r' ? "r" : "w"), functions);
    if (stream == nullptr) {
        SinkClose(sink);
        return nullptr;
    }
    setvbuf(stream, nullptr, _IONBF, 0);  // the sink does the buffering, in the runtime's way
    return stream;
}
