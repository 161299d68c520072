#include "serial/serial_port.h"

#include <cstdio>

HANDLE PortHandle = nullptr;

const char kTunerCaption[] = "Larkbox Serial Tuner";

namespace {

const char kLineSettings[] = "9600,N,8,1";
const char kDcbFailure[] =
    "Couldn't build the DCB. Usually a problem a problem with the communications specification "
    "string.";

// Only a device or a pipe can be the tuner's line. A disk file opened as the port would have its
// first bytes overwritten by every key command, so it is refused like a port that cannot be opened.
bool IsLineDevice(HANDLE handle) {
    DWORD type = GetFileType(handle);
    return type == FILE_TYPE_CHAR || type == FILE_TYPE_PIPE;
}

void ReportOpenFailure(const char* name) {
    char message[100];
    // Bounded: a long name is cut at the end of the buffer, never written past it.
    std::snprintf(message, sizeof message, "Larkbox Serial Tuner cannot open port: %s", name);
    MessageBoxA(nullptr, message, kTunerCaption, MB_OK);
}

}  // namespace

bool OpenTunerPort(const char* name) {
    HANDLE handle =
        CreateFileA(name, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        ReportOpenFailure(name);
        return false;
    }
    if (!IsLineDevice(handle)) {
        CloseHandle(handle);
        ReportOpenFailure(name);
        return false;
    }
    PortHandle = handle;

    DCB dcb = {};
    dcb.DCBlength = sizeof dcb;
    if (!BuildCommDCBA(kLineSettings, &dcb)) {
        MessageBoxA(nullptr, kDcbFailure, kTunerCaption, MB_OK);
        CloseTunerPort();
        return false;
    }
    dcb.fDtrControl = DTR_CONTROL_HANDSHAKE;
    // A driver that refuses the settings leaves the port as it was; the port is used all the same.
    SetCommState(PortHandle, &dcb);
    return true;
}

bool WritePort(const std::uint8_t* bytes, std::uint32_t count) {
    HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    if (event == nullptr) {
        return false;
    }
    OVERLAPPED overlapped = {};
    overlapped.hEvent = event;
    DWORD written = 0;
    bool done = WriteFile(PortHandle, bytes, count, &written, &overlapped) != FALSE;
    if (!done && GetLastError() == ERROR_IO_PENDING) {
        done = GetOverlappedResult(PortHandle, &overlapped, &written, TRUE) != FALSE;
    }
    CloseHandle(event);
    return done;
}

void CloseTunerPort() {
    if (PortHandle != nullptr) {
        CloseHandle(PortHandle);
        PortHandle = nullptr;
    }
}
