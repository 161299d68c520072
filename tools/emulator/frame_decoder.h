// The tuner's side of the line: splits a byte stream into frames (start marker, type, length,
// payload, CRC-16/KERMIT check value, end marker), checks each, and recognises the three-frame
// key command. Malformed input becomes an error event and the decoder resynchronises on the next
// start marker; nothing here fails or throws on any input.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// CRC-16/KERMIT: polynomial 0x1021 reflected, initial value 0, no final XOR.
std::uint16_t Crc16Kermit(const std::uint8_t* bytes, std::size_t count);

struct TunerEvent {
    enum Kind { kKey, kError } kind;
    std::uint8_t code;   // kKey: the key code
    bool checkOk;        // kKey: every frame of the command had a correct check value
    std::string text;    // kError: what was wrong
    std::size_t offset;  // stream offset of the frame or byte concerned
};

struct FrameDecoder {
    std::vector<std::uint8_t> frame;  // bytes of the frame under way
    std::size_t frameStart = 0;       // stream offset of frame[0]
    std::size_t offset = 0;           // stream offset of the next byte
    std::size_t strayBytes = 0;       // bytes outside any frame, not yet reported
    int stage = 0;                    // frames of the key command seen so far (0 to 2)
    bool commandCheckOk = true;
};

// Feeds bytes, appending what they complete to `events`.
void FeedDecoder(FrameDecoder& decoder, const std::uint8_t* bytes, std::size_t count,
                 std::vector<TunerEvent>& events);
// Reports what the stream left unfinished.
void FinishDecoder(FrameDecoder& decoder, std::vector<TunerEvent>& events);

// "0" to "9" for the digit keys, "closing" for 0x11, else the code in hexadecimal.
std::string KeyName(std::uint8_t code);
