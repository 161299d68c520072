// Files and serial lines: CreateFileA, GetFileType, BuildCommDCBA, SetCommState, WriteFile and
// GetOverlappedResult over descriptors and termios.
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <string>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include "platform/posix/standin.h"

namespace {

// True when a descriptor of any process other than this one's `fd` refers to the same file.
// This is what makes share mode 0 exclusive, also for root, whom TIOCEXCL does not stop.
bool OpenElsewhere(int fd) {
    struct stat mine;
    if (fstat(fd, &mine) != 0) {
        return false;
    }
    std::string self = std::to_string(getpid());
    std::string ownEntry = std::to_string(fd);
    DIR* processes = opendir("/proc");
    if (processes == nullptr) {
        return false;
    }
    bool found = false;
    while (!found) {
        dirent* process = readdir(processes);
        if (process == nullptr) {
            break;
        }
        if (process->d_name[0] < '0' || process->d_name[0] > '9') {
            continue;
        }
        std::string folder = std::string("/proc/") + process->d_name + "/fd";
        DIR* descriptors = opendir(folder.c_str());
        if (descriptors == nullptr) {
            continue;  // gone, or not ours to look at
        }
        bool ownProcess = self == process->d_name;
        while (dirent* entry = readdir(descriptors)) {
            if (entry->d_name[0] == '.' || (ownProcess && ownEntry == entry->d_name)) {
                continue;
            }
            struct stat other;
            if (stat((folder + "/" + entry->d_name).c_str(), &other) == 0 &&
                other.st_dev == mine.st_dev && other.st_ino == mine.st_ino) {
                found = true;
                break;
            }
        }
        closedir(descriptors);
    }
    closedir(processes);
    return found;
}

int AccessFlags(DWORD access) {
    bool read = (access & GENERIC_READ) != 0;
    bool write = (access & GENERIC_WRITE) != 0;
    if (read && write) {
        return O_RDWR;
    }
    return write ? O_WRONLY : O_RDONLY;
}

speed_t BaudSpeed(DWORD baud) {
    switch (baud) {
        case 110:
            return B110;
        case 300:
            return B300;
        case 600:
            return B600;
        case 1200:
            return B1200;
        case 2400:
            return B2400;
        case 4800:
            return B4800;
        case 9600:
            return B9600;
        case 19200:
            return B19200;
        case 38400:
            return B38400;
        case 57600:
            return B57600;
        case 115200:
            return B115200;
        default:
            return B0;
    }
}

// A pipe without a reader must fail the write, not kill the host with SIGPIPE.
bool WriteWithoutSigpipe(int fd, const char* bytes, size_t count, size_t& done) {
    sigset_t pipeSignal, previous;
    sigemptyset(&pipeSignal);
    sigaddset(&pipeSignal, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipeSignal, &previous);
    bool ok = standin::WriteAll(fd, bytes, count, done);
    int error = errno;
    if (!ok && error == EPIPE) {
        timespec none = {0, 0};
        sigtimedwait(&pipeSignal, nullptr, &none);  // drop the pending signal
    }
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    errno = error;
    return ok;
}

}  // namespace

HANDLE WINAPI CreateFileA(LPCSTR name, DWORD access, DWORD shareMode, LPSECURITY_ATTRIBUTES,
                          DWORD disposition, DWORD, HANDLE) {
    if (name == nullptr || disposition != OPEN_EXISTING) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    std::string path = standin::DevicePath(name);
    // Non-blocking for the open only, so that a line without carrier does not hold it up.
    int fd = open(path.c_str(), AccessFlags(access) | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        return standin::FailWithErrno(INVALID_HANDLE_VALUE);
    }
    struct stat info;
    if (fstat(fd, &info) != 0 || S_ISDIR(info.st_mode)) {
        close(fd);
        SetLastError(ERROR_ACCESS_DENIED);  // a folder is not a file without backup semantics
        return INVALID_HANDLE_VALUE;
    }
    if (shareMode == 0 && OpenElsewhere(fd)) {
        close(fd);
        SetLastError(ERROR_SHARING_VIOLATION);
        return INVALID_HANDLE_VALUE;
    }
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    if (shareMode == 0 && isatty(fd)) {
        ioctl(fd, TIOCEXCL);  // keeps later opens by other users out as well
    }
    return standin::AddFile(fd, info.st_mode);
}

DWORD WINAPI GetFileType(HANDLE file) {
    mode_t mode = 0;
    if (standin::FileDescriptor(file, &mode) < 0) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FILE_TYPE_UNKNOWN;
    }
    SetLastError(ERROR_SUCCESS);
    if (S_ISCHR(mode)) {
        return FILE_TYPE_CHAR;
    }
    if (S_ISFIFO(mode) || S_ISSOCK(mode)) {
        return FILE_TYPE_PIPE;
    }
    return FILE_TYPE_DISK;
}

BOOL WINAPI SetCommState(HANDLE file, LPDCB dcb) {
    int fd = standin::FileDescriptor(file);
    if (fd < 0 || dcb == nullptr) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    termios line;
    if (tcgetattr(fd, &line) != 0) {
        return standin::FailWithErrno(FALSE);
    }
    speed_t speed = BaudSpeed(dcb->BaudRate);
    if (speed == B0 || dcb->ByteSize < 5 || dcb->ByteSize > 8 || dcb->Parity > SPACEPARITY ||
        dcb->StopBits > TWOSTOPBITS) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    cfmakeraw(&line);
    cfsetispeed(&line, speed);
    cfsetospeed(&line, speed);
    static const tcflag_t kSizes[] = {CS5, CS6, CS7, CS8};
    line.c_cflag &= ~(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS);
    line.c_cflag |= kSizes[dcb->ByteSize - 5] | CLOCAL | CREAD;
    switch (dcb->Parity) {
        case ODDPARITY:
            line.c_cflag |= PARENB | PARODD;
            break;
        case EVENPARITY:
            line.c_cflag |= PARENB;
            break;
        case MARKPARITY:
            line.c_cflag |= PARENB | PARODD | CMSPAR;
            break;
        case SPACEPARITY:
            line.c_cflag |= PARENB | CMSPAR;
            break;
        default:
            break;
    }
    if (dcb->StopBits != ONESTOPBIT) {
        line.c_cflag |= CSTOPB;
    }
    if (dcb->fOutxCtsFlow || dcb->fRtsControl == RTS_CONTROL_HANDSHAKE) {
        line.c_cflag |= CRTSCTS;
    }
    line.c_iflag &= ~(IXON | IXOFF);
    line.c_iflag |= (dcb->fOutX ? IXON : 0) | (dcb->fInX ? IXOFF : 0);
    if (tcsetattr(fd, TCSANOW, &line) != 0) {
        return standin::FailWithErrno(FALSE);
    }
    // Linux has no DTR flow control: the line is raised for ENABLE and HANDSHAKE, as far as the
    // device has such a line at all (a pseudo-terminal has none).
    int dtr = TIOCM_DTR;
    ioctl(fd, dcb->fDtrControl == DTR_CONTROL_DISABLE ? TIOCMBIC : TIOCMBIS, &dtr);
    return TRUE;
}

BOOL WINAPI WriteFile(HANDLE file, LPCVOID buffer, DWORD count, LPDWORD written,
                      LPOVERLAPPED overlapped) {
    if (written != nullptr) {
        *written = 0;
    }
    mode_t mode = 0;
    int fd = standin::FileDescriptor(file, &mode);
    if (fd < 0) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    const char* bytes = static_cast<const char*>(buffer);
    size_t done = 0;
    bool ok;
    if (S_ISREG(mode) && overlapped != nullptr) {
        // A disk file takes the write at the record's offset, as Windows does.
        off_t offset = static_cast<off_t>((static_cast<uint64_t>(overlapped->OffsetHigh) << 32) |
                                          overlapped->Offset);
        ssize_t n = pwrite(fd, bytes, count, offset);
        ok = n >= 0;
        done = ok ? static_cast<size_t>(n) : 0;
    } else if (S_ISFIFO(mode) || S_ISSOCK(mode)) {
        ok = WriteWithoutSigpipe(fd, bytes, count, done);
    } else {
        ok = standin::WriteAll(fd, bytes, count, done);
    }
    // "Completed" means transmitted: a line waits until it has sent every byte. Character
    // devices that are no line (ENOTTY) have nothing to wait for.
    while (ok && S_ISCHR(mode) && tcdrain(fd) != 0) {
        if (errno == ENOTTY) {
            break;
        }
        if (errno != EINTR) {
            ok = false;
        }
    }
    if (!ok) {
        return standin::FailWithErrno(FALSE);
    }
    if (written != nullptr) {
        *written = static_cast<DWORD>(done);
    }
    if (overlapped != nullptr) {
        overlapped->Internal = 0;
        overlapped->InternalHigh = done;
        if (overlapped->hEvent != nullptr) {
            standin::SignalEvent(overlapped->hEvent);
        }
    }
    return TRUE;
}

// Every write here completes before WriteFile returns, so the result is already in the record.
BOOL WINAPI GetOverlappedResult(HANDLE, LPOVERLAPPED overlapped, LPDWORD transferred, BOOL) {
    if (overlapped == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (transferred != nullptr) {
        *transferred = static_cast<DWORD>(overlapped->InternalHigh);
    }
    return TRUE;
}

namespace standin {

bool WriteAll(int fd, const char* bytes, size_t count, size_t& done) {
    done = 0;
    while (done < count) {
        ssize_t n = write(fd, bytes + done, count - done);
        if (n > 0) {
            done += static_cast<size_t>(n);
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else if (n < 0 && errno == EAGAIN) {
            pollfd ready = {fd, POLLOUT, 0};
            poll(&ready, 1, -1);
        } else {
            if (n == 0) {
                errno = EIO;
            }
            return false;
        }
    }
    return true;
}

}  // namespace standin
