// Fuzz target: tuner-emulator's frame decoder on any byte stream. Aborts when the decoder's
// result depends on how the stream was cut into reads, or when an event points outside the stream.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "frame_decoder.h"

namespace {

void Check(bool holds, const char* what) {
    if (!holds) {
        std::fprintf(stderr, "decoder_fuzz: %s\n", what);
        std::abort();
    }
}

bool Same(const TunerEvent& a, const TunerEvent& b) {
    return a.kind == b.kind && a.offset == b.offset &&
           (a.kind == TunerEvent::kError ? a.text == b.text
                                         : a.code == b.code && a.checkOk == b.checkOk);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FrameDecoder whole;
    std::vector<TunerEvent> expected;
    FeedDecoder(whole, data, size, expected);
    FinishDecoder(whole, expected);

    // The same stream in reads of 1 to 8 bytes, their lengths taken from the stream itself.
    FrameDecoder pieces;
    std::vector<TunerEvent> events;
    for (std::size_t at = 0; at < size;) {
        std::size_t length = 1 + data[at] % 8;
        length = length < size - at ? length : size - at;
        FeedDecoder(pieces, data + at, length, events);
        at += length;
    }
    FinishDecoder(pieces, events);

    Check(events.size() == expected.size(), "event count depends on the reads");
    for (std::size_t i = 0; i < events.size(); ++i) {
        Check(Same(events[i], expected[i]), "event depends on the reads");
        Check(events[i].offset <= size, "event offset past the stream");
        Check(events[i].kind == TunerEvent::kKey || !events[i].text.empty(), "silent error");
        Check(!KeyName(events[i].code).empty(), "key without a name");
    }
    Check(expected.size() <= size, "more events than bytes");
    return 0;
}
