// The 33-byte key command: fixed frames, the key table, and the three bytes a key changes.
#include <gtest/gtest.h>

#include "fixture.h"
#include "frame_decoder.h"
#include "keys/key_command.h"

namespace {

const char kFixedFrames[] = "10 70 00 02 03 40 C8 27 10 03 10 78 00 03 03 40 00 68 96 10 03";

struct KeyRow {
    const KeyEntry* entry;
    const char* frame3;  // the third frame as the tuner receives it
};

const KeyRow kKeyTable[] = {
    {&DigitKeys[0], "10 78 00 04 10 40 22 00 37 E4 10 03"},
    {&DigitKeys[1], "10 78 00 04 10 40 22 01 26 6D 10 03"},
    {&DigitKeys[2], "10 78 00 04 10 40 22 02 14 F6 10 03"},
    {&DigitKeys[3], "10 78 00 04 10 40 22 03 05 7F 10 03"},
    {&DigitKeys[4], "10 78 00 04 10 40 22 04 71 C0 10 03"},
    {&DigitKeys[5], "10 78 00 04 10 40 22 05 60 49 10 03"},
    {&DigitKeys[6], "10 78 00 04 10 40 22 06 52 D2 10 03"},
    {&DigitKeys[7], "10 78 00 04 10 40 22 07 43 5B 10 03"},
    {&DigitKeys[8], "10 78 00 04 10 40 22 08 BB AC 10 03"},
    {&DigitKeys[9], "10 78 00 04 10 40 22 09 AA 25 10 03"},
    {&ClosingKey, "10 78 00 04 10 40 22 11 36 EC 10 03"},
};

std::vector<std::uint8_t> Command(const KeyCommandBytes& command) {
    return std::vector<std::uint8_t>(command.begin(), command.end());
}

TEST(KeyCommand, EveryKeyGivesItsExactCommand) {
    for (const KeyRow& row : kKeyTable) {
        std::vector<std::uint8_t> expected = Bytes(std::string(kFixedFrames) + " " + row.frame3);
        ASSERT_EQ(expected.size(), kKeyCommandSize);
        EXPECT_EQ(Command(PrepareKeyCommand(*row.entry)), expected) << row.frame3;
    }
}

TEST(KeyCommand, DigitFiveByteForByte) {
    EXPECT_EQ(Command(PrepareKeyCommand(DigitKeys[5])),
              Bytes("10 70 00 02 03 40 C8 27 10 03 10 78 00 03 03 40 00 68 96 10 03 "
                    "10 78 00 04 10 40 22 05 60 49 10 03"));
}

TEST(KeyCommand, KeyChangesOnlyOffsets28To30AndLeavesNoTrace) {
    // Digit 0 first: its leading zero byte must be copied, not taken for a terminator.
    std::vector<std::uint8_t> zero = Command(PrepareKeyCommand(DigitKeys[0]));
    EXPECT_EQ(zero[28], 0x00);
    EXPECT_EQ(zero[29], 0x37);
    EXPECT_EQ(zero[30], 0xE4);
    std::vector<std::uint8_t> closing = Command(PrepareKeyCommand(ClosingKey));
    for (std::size_t i = 0; i < kKeyCommandSize; ++i) {
        if (i < 28 || i > 30) {
            EXPECT_EQ(zero[i], closing[i]) << "offset " << i;
        }
    }
    // Preparing A then B is the same as preparing B; preparing twice changes nothing.
    std::vector<std::uint8_t> fiveAlone = Command(PrepareKeyCommand(DigitKeys[5]));
    PrepareKeyCommand(DigitKeys[9]);
    EXPECT_EQ(Command(PrepareKeyCommand(DigitKeys[5])), fiveAlone);
    EXPECT_EQ(Command(PrepareKeyCommand(DigitKeys[5])), fiveAlone);
}

TEST(KeyCommand, StoredCheckValuesFollowTheCrcRule) {
    const std::uint8_t standard[] = {'1', '2', '3', '4', '5', '6', '7', '8', '9'};
    ASSERT_EQ(Crc16Kermit(standard, sizeof standard), 0x2189);
    for (const KeyRow& row : kKeyTable) {
        const KeyCommandBytes& c = PrepareKeyCommand(*row.entry);
        EXPECT_EQ(Crc16Kermit(&c[1], 5), (c[6] << 8) | c[7]);     // frame 1: 0xC827
        EXPECT_EQ(Crc16Kermit(&c[11], 6), (c[17] << 8) | c[18]);  // frame 2: 0x6896
        EXPECT_EQ(Crc16Kermit(&c[22], 7), (c[29] << 8) | c[30]) << row.frame3;
    }
}

TEST(KeyCommand, TableRowsCarryTheirOwnCodes) {
    for (int d = 0; d < 10; ++d) {
        EXPECT_EQ(DigitKeys[d][0], d);
    }
    EXPECT_EQ(ClosingKey[0], 0x11);
}

}  // namespace
