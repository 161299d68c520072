// The tuner's key command: the 33-byte, three-frame packet written to the serial line for one
// key, and the table of keys the plug-in sends. Only the key code and the two check bytes of the
// third frame ever change; PrepareKeyCommand writes them and checks nothing.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

constexpr std::size_t kKeyCommandSize = 33;
constexpr std::size_t kKeyEntryOffset = 28;  // key code, check high, check low at 28, 29, 30

// One key: the key code, then the check value of the third frame, high byte first.
using KeyEntry = std::array<std::uint8_t, 3>;
using KeyCommandBytes = std::array<std::uint8_t, kKeyCommandSize>;

// The module-wide command buffer. It holds FF FF FF in the key's place until the first send.
extern KeyCommandBytes KeyCommand;

extern const KeyEntry DigitKeys[10];  // row d carries key code d
extern const KeyEntry ClosingKey;     // key code 0x11, sent after the last digit

// Copies the entry's three bytes into KeyCommand at offsets 28 to 30 and returns the command.
const KeyCommandBytes& PrepareKeyCommand(const KeyEntry& entry);
