// tuner-emulator's decoder: it must find every key in a clean stream and report, not swallow,
// whatever is wrong with a damaged one.
#include <gtest/gtest.h>

#include "fixture.h"
#include "frame_decoder.h"
#include "keys/key_command.h"

namespace {

std::vector<std::uint8_t> CommandFor(const KeyEntry& entry) {
    const KeyCommandBytes& c = PrepareKeyCommand(entry);
    return std::vector<std::uint8_t>(c.begin(), c.end());
}

std::vector<TunerEvent> Decode(const std::vector<std::uint8_t>& bytes, std::size_t chunk = 1) {
    FrameDecoder decoder;
    std::vector<TunerEvent> events;
    for (std::size_t at = 0; at < bytes.size(); at += chunk) {
        FeedDecoder(decoder, bytes.data() + at, std::min(chunk, bytes.size() - at), events);
    }
    FinishDecoder(decoder, events);
    return events;
}

// The keys found, with each run of errors between them as one "error".
std::string Describe(const std::vector<TunerEvent>& events) {
    std::string text;
    for (const TunerEvent& e : events) {
        std::string item = e.kind == TunerEvent::kKey
                               ? "key " + KeyName(e.code) + (e.checkOk ? "" : " bad")
                               : "error";
        if (item == "error" && text.size() >= 7 &&
            text.compare(text.size() - 7, 7, "error; ") == 0) {
            continue;
        }
        text += item + "; ";
    }
    return text;
}

TEST(Decoder, FindsEveryKeyOfADialInAnyChunking) {
    std::vector<std::uint8_t> line;
    for (const KeyEntry* key : {&DigitKeys[4], &DigitKeys[2], &DigitKeys[0], &ClosingKey}) {
        std::vector<std::uint8_t> c = CommandFor(*key);
        line.insert(line.end(), c.begin(), c.end());
    }
    for (std::size_t chunk : {1u, 7u, 33u, 1000u}) {
        EXPECT_EQ(Describe(Decode(line, chunk)), "key 4; key 2; key 0; key closing; ") << chunk;
    }
}

TEST(Decoder, ReportsDamageAndRecovers) {
    std::vector<std::uint8_t> good = CommandFor(DigitKeys[7]);
    struct Case {
        const char* what;
        std::vector<std::uint8_t> bytes;
        const char* expected;
    };
    std::vector<std::uint8_t> badCheck = good;
    badCheck[30] ^= 0x01;
    std::vector<std::uint8_t> noEnd = good;
    noEnd[9] = 0x04;
    std::vector<std::uint8_t> truncated(good.begin(), good.begin() + 20);
    std::vector<std::uint8_t> noise = {0x00, 0xFF, 0x03};
    std::vector<std::uint8_t> placeholder = good;  // the FF FF FF a send never leaves in place
    placeholder[28] = placeholder[29] = placeholder[30] = 0xFF;
    auto join = [](std::vector<std::vector<std::uint8_t>> parts) {
        std::vector<std::uint8_t> all;
        for (auto& p : parts) {
            all.insert(all.end(), p.begin(), p.end());
        }
        return all;
    };
    const Case cases[] = {
        {"wrong check value", join({badCheck, good}), "error; key 7 bad; key 7; "},
        {"missing end marker", join({noEnd, good}), "error; key 7; "},
        {"noise between keys", join({good, noise, good}), "key 7; error; key 7; "},
        {"cut short", join({good, truncated}), "key 7; error; "},
        {"placeholder key", placeholder, "error; key 0xFF bad; "},
        {"nothing", {}, ""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Describe(Decode(c.bytes)), c.expected) << c.what;
    }
}

TEST(Decoder, SurvivesAnyByteSoup) {
    std::vector<std::uint8_t> soup;
    std::uint32_t state = 12345;
    for (int i = 0; i < 20000; ++i) {
        state = state * 1103515245u + 12345u;
        soup.push_back((state >> 16) % 5 == 0 ? 0x10 : static_cast<std::uint8_t>(state >> 24));
    }
    std::vector<TunerEvent> events = Decode(soup, 13);
    for (const TunerEvent& e : events) {
        EXPECT_LE(e.offset, soup.size());
    }
}

}  // namespace
