#include "frame_decoder.h"

#include <cstdio>

namespace {

constexpr std::uint8_t kMarker = 0x10;
constexpr std::uint8_t kEnd = 0x03;
constexpr std::size_t kMaxPayload = 64;

std::string Hex(std::uint32_t value, int width) {
    char text[16];
    std::snprintf(text, sizeof text, "%0*X", width, static_cast<unsigned>(value));
    return text;
}

void Error(std::vector<TunerEvent>& events, std::size_t offset, const std::string& text) {
    events.push_back(TunerEvent{TunerEvent::kError, 0, false, text, offset});
}

bool PayloadIs(const std::vector<std::uint8_t>& frame, std::uint8_t type,
               const std::vector<std::uint8_t>& payload) {
    std::size_t length = frame.size() - 8;
    if (frame[1] != type || length != payload.size()) {
        return false;
    }
    for (std::size_t i = 0; i < length; ++i) {
        if (frame[4 + i] != payload[i]) {
            return false;
        }
    }
    return true;
}

// Places one complete, well-delimited frame in the key command being assembled.
void TakeFrame(FrameDecoder& d, bool checkOk, std::vector<TunerEvent>& events) {
    const std::vector<std::uint8_t>& f = d.frame;
    bool first = PayloadIs(f, 0x70, {0x03, 0x40});
    bool second = PayloadIs(f, 0x78, {0x03, 0x40, 0x00});
    bool third = f[1] == 0x78 && f.size() == 12 && f[4] == 0x10 && f[5] == 0x40 && f[6] == 0x22;
    static const char* const kExpected[] = {"the first frame (type 70)",
                                            "the second frame (type 78, payload 03 40 00)",
                                            "the third frame (type 78, payload 10 40 22 kk)"};
    bool expected = (d.stage == 0 && first) || (d.stage == 1 && second) || (d.stage == 2 && third);
    if (!expected) {
        Error(events, d.frameStart,
              "unexpected frame type " + Hex(f[1], 2) + " with " + std::to_string(f.size() - 8) +
                  " payload bytes where " + kExpected[d.stage] + " belongs");
        d.stage = first ? 1 : 0;
        d.commandCheckOk = checkOk;
        return;
    }
    d.commandCheckOk = (d.stage == 0 ? true : d.commandCheckOk) && checkOk;
    if (d.stage < 2) {
        ++d.stage;
        return;
    }
    events.push_back(TunerEvent{TunerEvent::kKey, f[7], d.commandCheckOk, "", d.frameStart});
    d.stage = 0;
}

// Looks at the frame under way after each byte: true while it may still become a frame.
bool Step(FrameDecoder& d, std::vector<TunerEvent>& events) {
    std::vector<std::uint8_t>& f = d.frame;
    if (f.size() < 4) {
        return true;
    }
    std::size_t length = (static_cast<std::size_t>(f[2]) << 8) | f[3];
    if (length > kMaxPayload) {
        Error(events, d.frameStart, "frame length " + std::to_string(length) + " is too large");
        return false;
    }
    if (f.size() < 8 + length) {
        return true;
    }
    if (f[6 + length] != kMarker || f[7 + length] != kEnd) {
        Error(events, d.frameStart, "frame of type " + Hex(f[1], 2) + " has no end marker");
        return false;
    }
    std::uint16_t carried = static_cast<std::uint16_t>((f[4 + length] << 8) | f[5 + length]);
    std::uint16_t computed = Crc16Kermit(f.data() + 1, 3 + length);
    if (carried != computed) {
        Error(events, d.frameStart,
              "frame of type " + Hex(f[1], 2) + " carries check value " + Hex(carried, 4) +
                  ", its bytes give " + Hex(computed, 4));
    }
    TakeFrame(d, carried == computed, events);
    f.clear();
    return true;
}

void ReportStray(FrameDecoder& d, std::vector<TunerEvent>& events) {
    if (d.strayBytes > 0) {
        Error(events, d.offset - d.strayBytes,
              std::to_string(d.strayBytes) + " byte(s) outside any frame");
        d.strayBytes = 0;
        d.stage = 0;
    }
}

void FeedByte(FrameDecoder& d, std::uint8_t byte, std::vector<TunerEvent>& events) {
    if (d.frame.empty()) {
        if (byte != kMarker) {
            ++d.strayBytes;
            ++d.offset;
            return;
        }
        ReportStray(d, events);
        d.frameStart = d.offset;
    }
    d.frame.push_back(byte);
    ++d.offset;
    if (!Step(d, events)) {
        // Start again one byte after the failed frame's start marker.
        std::vector<std::uint8_t> rest(d.frame.begin() + 1, d.frame.end());
        d.frame.clear();
        d.stage = 0;
        d.offset -= rest.size();
        for (std::uint8_t b : rest) {
            FeedByte(d, b, events);
        }
    }
}

}  // namespace

std::uint16_t Crc16Kermit(const std::uint8_t* bytes, std::size_t count) {
    std::uint16_t crc = 0;
    for (std::size_t i = 0; i < count; ++i) {
        crc ^= bytes[i];
        for (int bit = 0; bit < 8; ++bit) {
            crc = (crc & 1) ? static_cast<std::uint16_t>((crc >> 1) ^ 0x8408) : crc >> 1;
        }
    }
    return crc;
}

void FeedDecoder(FrameDecoder& decoder, const std::uint8_t* bytes, std::size_t count,
                 std::vector<TunerEvent>& events) {
    for (std::size_t i = 0; i < count; ++i) {
        FeedByte(decoder, bytes[i], events);
    }
}

void FinishDecoder(FrameDecoder& decoder, std::vector<TunerEvent>& events) {
    ReportStray(decoder, events);
    if (!decoder.frame.empty()) {
        Error(events, decoder.frameStart,
              "stream ends inside a frame (" + std::to_string(decoder.frame.size()) + " bytes)");
        decoder.frame.clear();
    } else if (decoder.stage != 0) {
        Error(events, decoder.offset, "stream ends inside a key command");
    }
    decoder.stage = 0;
}

std::string KeyName(std::uint8_t code) {
    if (code <= 9) {
        return std::string(1, static_cast<char>('0' + code));
    }
    if (code == 0x11) {
        return "closing";
    }
    return "0x" + Hex(code, 2);
}
