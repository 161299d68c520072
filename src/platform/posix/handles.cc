// Handles, events, the last error, pauses and message boxes.
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <ctime>
#include <mutex>
#include <sched.h>
#include <sys/ioctl.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "platform/posix/standin.h"

namespace {

// Handles are slots of one table: 0x100, 0x104, 0x108, ... (Windows hands out multiples of four).
// A closed slot is handed out again, as Windows reuses handle values.
struct Object {
    bool used;
    int fd;          // an open file, or -1 for an event
    mode_t mode;     // files only
    bool signalled;  // events only
};

constexpr std::uintptr_t kFirstHandle = 0x100;

// The table's lock: held for a few loads and stores only, so a spin lock; a mutex cost a tenth of
// a key command's time on a pseudo-terminal.
class SpinLock {
  public:
    void lock() {
        while (held_.exchange(true, std::memory_order_acquire)) {
            std::this_thread::yield();
        }
    }
    void unlock() { held_.store(false, std::memory_order_release); }

  private:
    std::atomic<bool> held_{false};
};

SpinLock tableLock;
std::vector<Object> slots;
std::vector<std::size_t> freeSlots;

thread_local DWORD lastError = ERROR_SUCCESS;

HANDLE Add(Object object) {
    std::lock_guard<SpinLock> guard(tableLock);
    std::size_t slot = slots.size();
    if (freeSlots.empty()) {
        slots.push_back(object);
    } else {
        slot = freeSlots.back();
        freeSlots.pop_back();
        slots[slot] = object;
    }
    return reinterpret_cast<HANDLE>(kFirstHandle + 4 * slot);
}

// The handle's object, or nullptr; the caller holds tableLock.
Object* Find(HANDLE handle) {
    std::uintptr_t value = reinterpret_cast<std::uintptr_t>(handle);
    if (value < kFirstHandle || (value - kFirstHandle) % 4 != 0) {
        return nullptr;
    }
    std::size_t slot = (value - kFirstHandle) / 4;
    return slot < slots.size() && slots[slot].used ? &slots[slot] : nullptr;
}

}  // namespace

namespace standin {

HANDLE AddFile(int fd, mode_t mode) {
    return Add(Object{true, fd, mode, false});
}
HANDLE AddEvent(bool signalled) {
    return Add(Object{true, -1, 0, signalled});
}

int FileDescriptor(HANDLE handle, mode_t* mode) {
    std::lock_guard<SpinLock> guard(tableLock);
    Object* found = Find(handle);
    if (found == nullptr) {
        return -1;
    }
    if (mode != nullptr) {
        *mode = found->mode;
    }
    return found->fd;
}

bool SignalEvent(HANDLE handle) {
    std::lock_guard<SpinLock> guard(tableLock);
    Object* found = Find(handle);
    if (found == nullptr || found->fd != -1) {
        return false;
    }
    found->signalled = true;
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
        std::lock_guard<SpinLock> guard(tableLock);
        Object* found = Find(object);
        if (found == nullptr) {
            SetLastError(ERROR_INVALID_HANDLE);
            return FALSE;
        }
        fd = found->fd;
        found->used = false;
        freeSlots.push_back(static_cast<std::size_t>(found - slots.data()));
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
    if (milliseconds == 0) {
        sched_yield();  // Windows gives up the rest of the time slice; a zero nanosleep would
        return;         // still wait out the timer slack, about 50 microseconds
    }
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
