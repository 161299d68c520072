// What the files of the POSIX stand-in share: the table behind HANDLE values, the mapping of
// Windows names onto this machine, and the translation of errno into Win32 error codes.
// Internal to the stand-in; everything else sees only platform/win32.h.
#pragma once

#include <cerrno>
#include <cstddef>
#include <sys/types.h>
#include <string>

#include "platform/win32.h"

namespace standin {

// The prefix folder that holds drive_c and dosdevices: $WIN32_PREFIX, else ~/.win32.
std::string PrefixFolder();
// A Windows path on this machine: "C:\a\b" is <prefix>/drive_c/a/b, a path starting with '/' is
// itself, anything else has its backslashes turned into slashes.
std::string HostPath(const char* windowsPath);
// A device name on this machine: COMn (also \\.\COMn) is <prefix>/dosdevices/comn when that link
// exists, else /dev/ttyS<n-1>; every other name is a path, as HostPath reads it.
std::string DevicePath(const char* name);

// Win32 error code for an errno value.
DWORD ErrorFromErrno(int error);
// Sets the last error from errno and returns the given result, for one-line failure returns.
template <typename T>
T FailWithErrno(T result) {
    SetLastError(ErrorFromErrno(errno));
    return result;
}

// Writes all of `count` bytes through partial writes, interrupted writes and a full device;
// `done` tells how many went. False with errno set when the descriptor refuses the rest.
bool WriteAll(int fd, const char* bytes, size_t count, size_t& done);

// Handle table. A file handle wraps a descriptor and the kind of file it is (st_mode, taken once
// at the open); an event handle holds a signalled flag.
HANDLE AddFile(int fd, mode_t mode);
HANDLE AddEvent(bool signalled);
int FileDescriptor(HANDLE handle, mode_t* mode = nullptr);  // -1 when not an open file
bool SignalEvent(HANDLE handle);                            // false when the handle is not an event

}  // namespace standin
