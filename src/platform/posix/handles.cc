// Handles, events, the last error, pauses and message boxes.
#include <cerrno>
#include <cstdio>
#include <ctime>
#include <map>
#include <mutex>
#include <sys/ioctl.h>
#include <unistd.h>

#include "platform/posix/standin.h"

namespace {

struct Object {
    int fd;          // an open file, or -1 for an event
    bool signalled;  // events only
};

std::mutex tableLock;
std::map<std::uintptr_t, Object> table;
std::uintptr_t nextHandle = 0x100;

thread_local DWORD lastError = ERROR_SUCCESS;

HANDLE Add(Object object) {
    std::lock_guard<std::mutex> guard(tableLock);
    std::uintptr_t value = nextHandle;
    nextHandle += 4;  // Windows hands out multiples of four
    table[value] = object;
    return reinterpret_cast<HANDLE>(value);
}

}  // namespace

namespace standin {

HANDLE AddFile(int fd) {
    return Add(Object{fd, false});
}
HANDLE AddEvent(bool signalled) {
    return Add(Object{-1, signalled});
}

int FileDescriptor(HANDLE handle) {
    std::lock_guard<std::mutex> guard(tableLock);
    auto found = table.find(reinterpret_cast<std::uintptr_t>(handle));
    return found == table.end() ? -1 : found->second.fd;
}

bool SignalEvent(HANDLE handle) {
    std::lock_guard<std::mutex> guard(tableLock);
    auto found = table.find(reinterpret_cast<std::uintptr_t>(handle));
    if (found == table.end() || found->second.fd != -1) {
        return false;
    }
    found->second.signalled = true;
    return true;
}

}  // namespace standin

HANDLE WINAPI CreateEventA(LPSECURITY_ATTRIBUTES, BOOL, BOOL initialState, LPCSTR name) {
    if (name != nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);  // named events are not offered here
        return nullptr;
    }
    return standin::AddEvent(initialState != FALSE);
}

BOOL WINAPI CloseHandle(HANDLE object) {
    int fd;
    {
        std::lock_guard<std::mutex> guard(tableLock);
        auto found = table.find(reinterpret_cast<std::uintptr_t>(object));
        if (found == table.end()) {
            SetLastError(ERROR_INVALID_HANDLE);
            return FALSE;
        }
        fd = found->second.fd;
        table.erase(found);
    }
    if (fd >= 0) {
        if (isatty(fd)) {
            ioctl(fd, TIOCNXCL);  // let the next owner of the line in
        }
        close(fd);
    }
    return TRUE;
}

DWORD WINAPI GetLastError(void) {
    return lastError;
}
void WINAPI SetLastError(DWORD error) {
    lastError = error;
}

void WINAPI Sleep(DWORD milliseconds) {
    timespec left = {static_cast<time_t>(milliseconds / 1000),
                     static_cast<long>(milliseconds % 1000) * 1000000L};
    while (nanosleep(&left, &left) != 0 && errno == EINTR) {
    }
}

// There is no desktop here: the box is one line on standard error, answered with OK at once.
int WINAPI MessageBoxA(HWND, LPCSTR text, LPCSTR caption, UINT) {
    std::fprintf(stderr, "%s: %s\n", caption != nullptr ? caption : "Error",
                 text != nullptr ? text : "");
    std::fflush(stderr);
    return IDOK;
}
