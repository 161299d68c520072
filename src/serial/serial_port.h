// The serial link to the tuner: opened and configured once at load (9600 baud, no parity, 8 data
// bits, 1 stop bit, DTR handshake), written one command at a time, closed at unload.
// OpenTunerPort tells the user about its failures in a message box and returns false with no port
// held; WritePort reports failure only through its result; CloseTunerPort never fails.
#pragma once

#include <cstdint>

#include "platform/win32.h"

extern HANDLE PortHandle;  // the open port, or nullptr

extern const char kTunerCaption[];  // caption of every message box: "Larkbox Serial Tuner"

bool OpenTunerPort(const char* name);
bool WritePort(const std::uint8_t* bytes, std::uint32_t count);
void CloseTunerPort();
