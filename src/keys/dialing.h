// Channel dialing: a channel number entered on the tuner one decimal digit at a time, each digit's
// key command followed by a pause of KeyDelay milliseconds, then the closing key.
// SetTunerFrequency refuses a negative channel with 0 and sends nothing; write failures are
// ignored and the dial goes on. SendTunerKey returns the write's result.
#pragma once

#include <cstdint>

#include "keys/key_command.h"
#include "platform/win32.h"

constexpr std::int32_t kDefaultKeyDelay = 200;

// Pause after each digit key, in milliseconds. A negative value pauses 0 ms.
extern std::int32_t KeyDelay;

bool SendTunerKey(const KeyEntry& entry);

// Exported to the host. Returns 1 when the whole number was dialed, 0 for a negative channel.
extern "C" TUNER_EXPORT std::int32_t __cdecl SetTunerFrequency(std::int32_t Channel,
                                                               std::int32_t BroadcastType,
                                                               std::int32_t Frequency);
