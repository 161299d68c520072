#include "fake_win32.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

namespace fake {
namespace {

Platform platform;
DWORD lastError = 0;

// The log goes to a real file, so that it behaves as a stream does and may be closed by fclose.
std::string LogPath() {
    return "fake-log-" + std::to_string(static_cast<long>(getpid())) + ".txt";
}

const std::uintptr_t kPortHandle = 0x1000;
std::uintptr_t nextEvent = 0x2000;

std::string Hex(std::uintptr_t value) {
    char text[32];
    std::snprintf(text, sizeof text, "0x%lX", static_cast<unsigned long>(value));
    return text;
}

std::string Hex(const void* pointer) {
    return Hex(reinterpret_cast<std::uintptr_t>(pointer));
}

std::string Text(const char* text) {
    return text == nullptr ? "null" : std::string(text);
}

void Record(const std::string& call) {
    platform.calls.push_back(call);
}

}  // namespace

Platform& State() {
    return platform;
}

void Reset() {
    std::remove(LogPath().c_str());
    platform = Platform();
    lastError = 0;
}

std::string LogText() {
    std::string text;
    if (FILE* file = std::fopen(LogPath().c_str(), "rb")) {
        char chunk[4096];
        size_t n;
        while ((n = std::fread(chunk, 1, sizeof chunk, file)) > 0) {
            text.append(chunk, n);
        }
        std::fclose(file);
    }
    return text;
}

bool LogFileExists() {
    FILE* file = std::fopen(LogPath().c_str(), "rb");
    if (file != nullptr) {
        std::fclose(file);
    }
    return file != nullptr;
}

std::vector<std::string> CallsNamed(const std::string& prefix) {
    std::vector<std::string> found;
    for (const std::string& call : platform.calls) {
        if (call.compare(0, prefix.size(), prefix) == 0) {
            found.push_back(call);
        }
    }
    return found;
}

}  // namespace fake

using fake::platform;

HANDLE WINAPI CreateFileA(LPCSTR name, DWORD access, DWORD shareMode,
                          LPSECURITY_ATTRIBUTES security, DWORD disposition, DWORD flags,
                          HANDLE templateFile) {
    fake::Record("CreateFileA(" + fake::Text(name) + ", " + fake::Hex(access) + ", " +
                 std::to_string(shareMode) + ", " + fake::Hex(security) + ", " +
                 std::to_string(disposition) + ", " + fake::Hex(flags) + ", " +
                 fake::Hex(templateFile) + ")");
    if (platform.createFileError != 0) {
        fake::lastError = platform.createFileError;
        return INVALID_HANDLE_VALUE;
    }
    ++platform.openHandles;
    return reinterpret_cast<HANDLE>(fake::kPortHandle);
}

DWORD WINAPI GetFileType(HANDLE file) {
    fake::Record("GetFileType(" + fake::Hex(file) + ")");
    return platform.fileType;
}

BOOL WINAPI BuildCommDCBA(LPCSTR definition, LPDCB dcb) {
    fake::Record("BuildCommDCBA(" + fake::Text(definition) + ", DCBlength " +
                 std::to_string(dcb->DCBlength) + ")");
    if (platform.buildDcbFails) {
        fake::lastError = ERROR_INVALID_PARAMETER;
        return FALSE;
    }
    // Answers as Windows does for "9600,N,8,1", leaving other fields alone.
    dcb->BaudRate = 9600;
    dcb->ByteSize = 8;
    dcb->Parity = NOPARITY;
    dcb->StopBits = ONESTOPBIT;
    dcb->fBinary = 1;
    dcb->fDtrControl = DTR_CONTROL_ENABLE;
    dcb->fRtsControl = RTS_CONTROL_ENABLE;
    return TRUE;
}

BOOL WINAPI SetCommState(HANDLE file, LPDCB dcb) {
    fake::Record("SetCommState(" + fake::Hex(file) + ")");
    platform.lastDcb = *dcb;
    if (platform.setCommStateFails) {
        fake::lastError = ERROR_INVALID_PARAMETER;
        return FALSE;
    }
    return TRUE;
}

HANDLE WINAPI CreateEventA(LPSECURITY_ATTRIBUTES security, BOOL manualReset, BOOL initialState,
                           LPCSTR name) {
    fake::Record("CreateEventA(" + fake::Hex(security) + ", " + std::to_string(manualReset) + ", " +
                 std::to_string(initialState) + ", " + fake::Text(name) + ")");
    if (platform.createEventFails) {
        fake::lastError = ERROR_NOT_ENOUGH_MEMORY;
        return nullptr;
    }
    ++platform.openHandles;
    fake::nextEvent += 4;
    return reinterpret_cast<HANDLE>(fake::nextEvent);
}

BOOL WINAPI WriteFile(HANDLE file, LPCVOID buffer, DWORD count, LPDWORD written,
                      LPOVERLAPPED overlapped) {
    bool zeroed = overlapped != nullptr && overlapped->Internal == 0 &&
                  overlapped->InternalHigh == 0 && overlapped->Offset == 0 &&
                  overlapped->OffsetHigh == 0;
    fake::Record("WriteFile(" + fake::Hex(file) + ", " + std::to_string(count) + ", event " +
                 fake::Hex(overlapped ? overlapped->hEvent : nullptr) +
                 (zeroed ? ", zeroed" : ", not zeroed") + ")");
    const std::uint8_t* bytes = static_cast<const std::uint8_t*>(buffer);
    platform.writes.emplace_back(bytes, bytes + count);
    switch (platform.writeOutcome) {
        case fake::WriteOutcome::kDone:
            if (written != nullptr) {
                *written = count;
            }
            return TRUE;
        case fake::WriteOutcome::kFailed:
            fake::lastError = ERROR_GEN_FAILURE;
            return FALSE;
        default:
            fake::lastError = ERROR_IO_PENDING;
            return FALSE;
    }
}

BOOL WINAPI GetOverlappedResult(HANDLE file, LPOVERLAPPED overlapped, LPDWORD transferred,
                                BOOL wait) {
    fake::Record("GetOverlappedResult(" + fake::Hex(file) + ", event " +
                 fake::Hex(overlapped ? overlapped->hEvent : nullptr) + ", wait " +
                 std::to_string(wait) + ")");
    if (platform.writeOutcome == fake::WriteOutcome::kPendingThenFailed) {
        fake::lastError = ERROR_GEN_FAILURE;
        return FALSE;
    }
    if (transferred != nullptr) {
        *transferred = static_cast<DWORD>(platform.writes.back().size());
    }
    return TRUE;
}

BOOL WINAPI CloseHandle(HANDLE object) {
    fake::Record("CloseHandle(" + fake::Hex(object) + ")");
    --platform.openHandles;
    if (platform.onCloseHandle) {
        platform.onCloseHandle(object);
    }
    return TRUE;
}

DWORD WINAPI GetLastError(void) {
    return fake::lastError;
}
void WINAPI SetLastError(DWORD error) {
    fake::lastError = error;
}

void WINAPI Sleep(DWORD milliseconds) {
    fake::Record("Sleep(" + std::to_string(milliseconds) + ")");
    platform.sleeps.push_back(milliseconds);
}

int WINAPI MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type) {
    fake::Record("MessageBoxA(" + fake::Hex(owner) + ")");
    platform.boxes.push_back(fake::Text(caption) + "|" + fake::Text(text) + "|" +
                             std::to_string(type));
    return IDOK;
}

DWORD WINAPI GetPrivateProfileStringA(LPCSTR section, LPCSTR key, LPCSTR defaultValue, LPSTR buffer,
                                      DWORD size, LPCSTR fileName) {
    fake::Record("GetPrivateProfileStringA(" + fake::Text(section) + ", " + fake::Text(key) +
                 ", \"" + fake::Text(defaultValue) + "\", " + std::to_string(size) + ", " +
                 fake::Text(fileName) + ")");
    std::string value = defaultValue;
    auto found = platform.settings.find(key);
    if (std::string(section) == "Settings" && found != platform.settings.end()) {
        value = found->second;
    }
    DWORD length = value.size() < size ? static_cast<DWORD>(value.size()) : size - 1;
    std::memcpy(buffer, value.data(), length);
    buffer[length] = '\0';
    return length;
}

FILE* __cdecl _fsopen(const char* fileName, const char* mode, int shareFlag) {
    fake::Record("_fsopen(" + fake::Text(fileName) + ", " + fake::Text(mode) + ", " +
                 fake::Hex(static_cast<std::uintptr_t>(shareFlag)) + ")");
    if (platform.logOpenFails) {
        return nullptr;
    }
    return std::fopen(fake::LogPath().c_str(), "wb");
}
