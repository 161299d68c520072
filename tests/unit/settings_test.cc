// Reading the settings: the platform call behind each read, and the Sleep and Log readings.
#include <gtest/gtest.h>

#include <climits>

#include "fixture.h"
#include "settings/settings.h"

namespace {

using Settings = FakePlatformTest;

TEST(SleepReading, FollowsTheDecimalRule) {
    const std::pair<const char*, std::int32_t> cases[] = {
        {"300", 300},
        {"abc", 0},
        {"250ms", 250},
        {"+40", 40},
        {"-0", 0},
        {"-15", -15},
        {" \t\n\v\f\r42", 42},  // every white space character, skipped
        {"\xA0"
         "42",
         0},  // not white space in plain ASCII, whatever the locale says
        {"4 2", 4},
        {"+-4", 0},
        {"", 0},
        {"0007", 7},
        {"2147483647", INT_MAX},
        {"2147483648", INT_MIN},
        {"4294967496", 200},
        {"-2147483648", INT_MIN},
        {"99999999999999999999", static_cast<std::int32_t>(0x630FFFFFu)},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ReadDecimalSetting(c.first), c.second) << '"' << c.first << '"';
    }
}

TEST(LogSwitch, OnlyTrueInAnyCaseSwitchesItOn) {
    const std::pair<const char*, bool> cases[] = {
        {"true", true},  {"TRUE", true},   {"True", true},     {"trueish", true},
        {"tRuE1", true}, {"tru", false},   {"yes", false},     {"1", false},
        {"", false},     {" true", false}, {"\xD4rue", false},  // only A to Z fold
    };
    for (const auto& c : cases) {
        EXPECT_EQ(IsSwitchedOn(c.first), c.second) << '"' << c.first << '"';
    }
}

TEST_F(Settings, EachReadAsksThePlatformOnceWithTheFixedFile) {
    platform.settings["Port"] = "COM2";
    ASSERT_EQ(ReadTunerSetting("Port", "Settings").value_or("none"), "COM2");
    EXPECT_EQ(platform.calls,
              std::vector<std::string>{
                  "GetPrivateProfileStringA(Settings, Port, \"\", 260, C:\\Documents and "
                  "Settings\\All Users\\Application Data\\Quillcrest\\Vistaloom\\"
                  "LarkboxSerialTuner.ini)"});
}

TEST_F(Settings, EmptyAndAbsentValuesReadAsNothing) {
    platform.settings["Port"] = "";
    EXPECT_FALSE(ReadTunerSetting("Port", "Settings").has_value());
    EXPECT_FALSE(ReadTunerSetting("Sleep", "Settings").has_value());
}

TEST_F(Settings, LongValueArrivesAsItsFirst259Characters) {
    std::string value;
    for (int i = 0; i < 300; ++i) {
        value += static_cast<char>('a' + i % 26);
    }
    platform.settings["Port"] = value;
    EXPECT_EQ(ReadTunerSetting("Port", "Settings").value_or(""), value.substr(0, 259));
}

TEST_F(Settings, LaterReadsLeaveEarlierResultsAlone) {
    platform.settings["Port"] = "COM2";
    platform.settings["Log"] = "true";
    std::optional<std::string> port = ReadTunerSetting("Port", "Settings");
    std::optional<std::string> log = ReadTunerSetting("Log", "Settings");
    EXPECT_EQ(*port, "COM2");
    EXPECT_EQ(*log, "true");
}

}  // namespace
