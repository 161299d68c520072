#include "keys/dialing.h"

#include <cstdio>

#include "log/log.h"
#include "serial/serial_port.h"

std::int32_t KeyDelay = kDefaultKeyDelay;

namespace {

// Sleep takes an unsigned count: a negative setting would otherwise pause for about 49 days.
DWORD PauseLength() {
    std::int32_t delay = KeyDelay;
    return delay < 0 ? 0 : static_cast<DWORD>(delay);
}

}  // namespace

bool SendTunerKey(const KeyEntry& entry) {
    const KeyCommandBytes& command = PrepareKeyCommand(entry);
    return WritePort(command.data(), static_cast<std::uint32_t>(command.size()));
}

extern "C" std::int32_t __cdecl SetTunerFrequency(std::int32_t Channel, std::int32_t BroadcastType,
                                                  std::int32_t Frequency) {
    WriteLogLine("Channel:%d   BroadcastType:%d   Frequency:%d\n", static_cast<int>(Channel),
                 static_cast<int>(BroadcastType), static_cast<int>(Frequency));

    char text[12];  // a minus sign, ten digits and the terminator
    std::snprintf(text, sizeof text, "%d", static_cast<int>(Channel));
    for (const char* c = text; *c != '\0'; ++c) {
        if (*c < '0' || *c > '9') {
            return 0;
        }
        SendTunerKey(DigitKeys[*c - '0']);
        Sleep(PauseLength());
    }
    SendTunerKey(ClosingKey);
    return 1;
}
