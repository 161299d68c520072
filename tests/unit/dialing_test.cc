// Dialing a channel: one key command per digit, a pause after each, then the closing key.
#include <gtest/gtest.h>

#include <climits>

#include "fixture.h"

namespace {

class Dialing : public FakePlatformTest {
  protected:
    void SetUp() override {
        FakePlatformTest::SetUp();
        OpenPort();
    }
    // Key codes of the commands written, in order.
    std::vector<int> KeysWritten() const {
        std::vector<int> keys;
        for (const auto& write : platform.writes) {
            EXPECT_EQ(write.size(), kKeyCommandSize);
            keys.push_back(write.size() > 28 ? write[28] : -1);
        }
        return keys;
    }
};

struct DialCase {
    std::int32_t channel;
    std::vector<int> keys;
};

TEST_F(Dialing, WritesEachDigitThenTheClosingKey) {
    const DialCase cases[] = {
        {0, {0x00, 0x11}},
        {42, {0x04, 0x02, 0x11}},
        {2147483647, {2, 1, 4, 7, 4, 8, 3, 6, 4, 7, 0x11}},
        {1000, {1, 0, 0, 0, 0x11}},
    };
    for (const DialCase& c : cases) {
        platform.writes.clear();
        platform.sleeps.clear();
        platform.calls.clear();
        EXPECT_EQ(SetTunerFrequency(c.channel, 0, 0), 1);
        EXPECT_EQ(KeysWritten(), c.keys) << c.channel;
        std::size_t digits = c.keys.size() - 1;
        EXPECT_EQ(platform.sleeps, std::vector<DWORD>(digits, 200)) << c.channel;
        // A pause follows every digit, including the last, and none follows the closing key.
        std::vector<std::string> order;
        for (const std::string& call : platform.calls) {
            if (call.rfind("WriteFile", 0) == 0 || call.rfind("Sleep", 0) == 0) {
                order.push_back(call.substr(0, call.find('(')));
            }
        }
        std::vector<std::string> expected;
        for (std::size_t i = 0; i < digits; ++i) {
            expected.insert(expected.end(), {"WriteFile", "Sleep"});
        }
        expected.push_back("WriteFile");
        EXPECT_EQ(order, expected) << c.channel;
    }
}

TEST_F(Dialing, ChannelFortyTwoPutsNinetyNineBytesOnTheLine) {
    ASSERT_EQ(SetTunerFrequency(42, 0, 0), 1);
    std::vector<std::uint8_t> line;
    for (const auto& write : platform.writes) {
        line.insert(line.end(), write.begin(), write.end());
    }
    ASSERT_EQ(line.size(), 99u);
    EXPECT_EQ(std::vector<std::uint8_t>(line.begin() + 21, line.begin() + 33),
              Bytes("10 78 00 04 10 40 22 04 71 C0 10 03"));
    EXPECT_EQ(std::vector<std::uint8_t>(line.begin() + 87, line.end()),
              Bytes("10 78 00 04 10 40 22 11 36 EC 10 03"));
}

TEST_F(Dialing, NegativeChannelIsRefusedWithNothingSent) {
    for (std::int32_t channel : {-5, -1, INT_MIN}) {
        EXPECT_EQ(SetTunerFrequency(channel, 7, 8), 0) << channel;
    }
    EXPECT_TRUE(platform.writes.empty());
    EXPECT_TRUE(platform.sleeps.empty());
    EXPECT_TRUE(platform.calls.empty());
}

TEST_F(Dialing, PauseFollowsKeyDelayAndNeverGoesNegative) {
    const std::pair<std::int32_t, DWORD> cases[] = {
        {0, 0}, {1, 1}, {350, 350}, {INT_MAX, INT_MAX}, {-1, 0}, {INT_MIN, 0}};
    for (const auto& c : cases) {
        KeyDelay = c.first;
        platform.sleeps.clear();
        EXPECT_EQ(SetTunerFrequency(7, 0, 0), 1);
        EXPECT_EQ(platform.sleeps, std::vector<DWORD>{c.second}) << c.first;
    }
}

TEST_F(Dialing, OtherArgumentsChangeNothingOnTheLine) {
    SetTunerFrequency(42, 0, 0);
    auto plain = platform.writes;
    platform.writes.clear();
    SetTunerFrequency(42, INT_MIN, INT_MAX);
    EXPECT_EQ(platform.writes, plain);
}

TEST_F(Dialing, FailedWritesDoNotStopTheDial) {
    for (fake::WriteOutcome outcome :
         {fake::WriteOutcome::kFailed, fake::WriteOutcome::kPendingThenFailed}) {
        platform.writeOutcome = outcome;
        platform.writes.clear();
        EXPECT_EQ(SetTunerFrequency(42, 0, 0), 1);
        EXPECT_EQ(KeysWritten(), (std::vector<int>{0x04, 0x02, 0x11}));
    }
    platform.createEventFails = true;
    platform.writes.clear();
    platform.sleeps.clear();
    EXPECT_EQ(SetTunerFrequency(42, 0, 0), 1);
    EXPECT_TRUE(platform.writes.empty());
    EXPECT_EQ(platform.sleeps.size(), 2u);
}

TEST_F(Dialing, SendTunerKeyReturnsTheWriteResult) {
    EXPECT_TRUE(SendTunerKey(ClosingKey));
    platform.writeOutcome = fake::WriteOutcome::kFailed;
    EXPECT_FALSE(SendTunerKey(ClosingKey));
}

}  // namespace
