// The module's load and unload, the diagnostic log, and the two exports, on the fake platform.
#include <gtest/gtest.h>

#include <cstring>

#include "fixture.h"
#include "plugin/plugin.h"
#include "settings/settings.h"

namespace {

using Plugin = FakePlatformTest;

const char kLogFile[] =
    "C:\\Documents and Settings\\All Users\\Documents\\Quillcrest\\Vistaloom\\log\\"
    "LarkboxSerialTuner.log";

// The setting reads and the opens, in the order the load made them.
std::vector<std::string> LoadSteps(const std::vector<std::string>& calls) {
    std::vector<std::string> steps;
    for (const std::string& call : calls) {
        if (call.rfind("GetPrivateProfileStringA(Settings, ", 0) == 0) {
            steps.push_back("read " + call.substr(35, call.find(',', 35) - 35));
        } else if (call.rfind("CreateFileA(", 0) == 0) {
            steps.push_back("open " + call.substr(12, call.find(',') - 12));
        } else if (call.rfind("_fsopen(", 0) == 0) {
            steps.push_back("open log");
        }
    }
    return steps;
}

TEST_F(Plugin, LoadReadsSleepAndPortThenOpensThePortThenTheLog) {
    platform.settings = {{"Sleep", "300"}, {"Port", "COM2"}, {"Log", "true"}};
    ASSERT_EQ(DllMain(nullptr, DLL_PROCESS_ATTACH, nullptr), TRUE);
    EXPECT_EQ(
        LoadSteps(platform.calls),
        (std::vector<std::string>{"read Sleep", "read Port", "open COM2", "read Log", "open log"}));
    EXPECT_EQ(fake::CallsNamed("_fsopen"),
              std::vector<std::string>{std::string("_fsopen(") + kLogFile + ", wt, 0x40)"});
    EXPECT_EQ(KeyDelay, 300);
    EXPECT_NE(LogStream, nullptr);
    DllMain(nullptr, DLL_PROCESS_DETACH, nullptr);
    EXPECT_EQ(fake::LogText(), "Larkbox Serial Tuner opened a port to: COM2\n");
}

TEST_F(Plugin, DefaultsWithoutAnySetting) {
    ASSERT_TRUE(AttachTuner());
    EXPECT_EQ(KeyDelay, 200);
    EXPECT_EQ(fake::CallsNamed("CreateFileA")[0].substr(0, 17), "CreateFileA(COM1,");
    EXPECT_EQ(LogStream, nullptr);
    EXPECT_TRUE(fake::CallsNamed("_fsopen").empty());
    DetachTuner();
    EXPECT_FALSE(fake::LogFileExists());
}

TEST_F(Plugin, SleepSettingBecomesKeyDelay) {
    const std::pair<const char*, std::int32_t> cases[] = {
        {"0", 0}, {"abc", 0}, {"-1", -1}, {"4294967496", 200}, {"75", 75}};
    for (const auto& c : cases) {
        KeyDelay = kDefaultKeyDelay;
        platform.settings = {{"Sleep", c.first}};
        ASSERT_TRUE(AttachTuner());
        EXPECT_EQ(KeyDelay, c.second) << c.first;
        DetachTuner();
    }
}

TEST_F(Plugin, PortThatWillNotOpenFailsTheLoadBeforeTheLog) {
    platform.settings = {{"Port", "COM7"}, {"Log", "true"}};
    platform.createFileError = ERROR_FILE_NOT_FOUND;
    EXPECT_EQ(DllMain(nullptr, DLL_PROCESS_ATTACH, nullptr), FALSE);
    EXPECT_EQ(LoadSteps(platform.calls),
              (std::vector<std::string>{"read Sleep", "read Port", "open COM7"}));
    EXPECT_EQ(platform.boxes.size(), 1u);
    EXPECT_EQ(PortHandle, nullptr);
    EXPECT_EQ(LogStream, nullptr);
    EXPECT_EQ(platform.openHandles, 0);
}

TEST_F(Plugin, UnloadClosesThePortBeforeTheLog) {
    platform.settings = {{"Log", "true"}};
    ASSERT_TRUE(AttachTuner());
    bool logOpenAtPortClose = false;
    platform.onCloseHandle = [&](HANDLE) { logOpenAtPortClose = LogStream != nullptr; };
    ASSERT_EQ(DllMain(nullptr, DLL_PROCESS_DETACH, nullptr), TRUE);
    EXPECT_TRUE(logOpenAtPortClose);
    EXPECT_EQ(PortHandle, nullptr);
    EXPECT_EQ(LogStream, nullptr);
    EXPECT_EQ(fake::LogText(), "Larkbox Serial Tuner opened a port to: COM1\n");
}

TEST_F(Plugin, ThreadNotificationsDoNothing) {
    for (DWORD reason : {DLL_THREAD_ATTACH, DLL_THREAD_DETACH, 7}) {
        EXPECT_EQ(DllMain(nullptr, reason, nullptr), TRUE);
    }
    EXPECT_TRUE(platform.calls.empty());
}

TEST_F(Plugin, LogSwitchReadsAsTheSettingSays) {
    const std::pair<const char*, bool> cases[] = {
        {"TRUE", true}, {"trueish", true}, {"tru", false}, {"yes", false}, {"", false}};
    for (const auto& c : cases) {
        fake::Reset();
        platform.settings = {{"Log", c.first}};
        ASSERT_TRUE(AttachTuner());
        EXPECT_EQ(LogStream != nullptr, c.second) << c.first;
        DetachTuner();
        EXPECT_EQ(fake::LogFileExists(), c.second) << c.first;
    }
}

TEST_F(Plugin, LogThatCannotOpenLeavesTheLoadWorking) {
    platform.settings = {{"Log", "true"}};
    platform.logOpenFails = true;
    ASSERT_TRUE(AttachTuner());
    EXPECT_EQ(LogStream, nullptr);
    EXPECT_TRUE(platform.boxes.empty());
    EXPECT_EQ(SetTunerFrequency(42, 0, 0), 1);
    EXPECT_EQ(platform.writes.size(), 3u);
}

TEST_F(Plugin, LogHoldsOneLinePerCallInOrder) {
    platform.settings = {{"Log", "true"}};
    ASSERT_TRUE(AttachTuner());
    TunerProperties properties;
    TunerGetProperties(&properties);
    SetTunerFrequency(42, 1, 2);
    SetTunerFrequency(-5, -6, 2147483647);
    TunerGetProperties(nullptr);
    DetachTuner();
    EXPECT_EQ(fake::LogText(),
              "Larkbox Serial Tuner opened a port to: COM1\n"
              "Larkbox - TunerGetProperties was called\n"
              "Channel:42   BroadcastType:1   Frequency:2\n"
              "Channel:-5   BroadcastType:-6   Frequency:2147483647\n"
              "Larkbox - TunerGetProperties was called\n");
    EXPECT_EQ(LogStream, nullptr);
    CloseLog();  // a second close does nothing
}

TEST_F(Plugin, PropertiesWriteOnlyTheirFields) {
    unsigned char record[512];
    std::memset(record, 0xA5, sizeof record);
    EXPECT_EQ(TunerGetProperties(reinterpret_cast<TunerProperties*>(record)), 1);
    const unsigned char expected[] = {2, 0, 0, 0, 1, 0, 0, 0};
    EXPECT_EQ(std::memcmp(record, expected, 8), 0);
    EXPECT_STREQ(reinterpret_cast<char*>(record + 8), "Larkbox Serial Tuner");
    EXPECT_STREQ(reinterpret_cast<char*>(record + 268), "Quill Crest Larkbox Serial Tuner");
    for (std::size_t i = 0; i < sizeof record; ++i) {
        bool written = i <= 28 || (i >= 268 && i <= 300);
        if (!written) {
            EXPECT_EQ(record[i], 0xA5) << "byte " << i;
        }
    }
    EXPECT_TRUE(platform.calls.empty());  // no port, no settings
}

TEST_F(Plugin, NullPropertiesRecordIsRefused) {
    EXPECT_EQ(TunerGetProperties(nullptr), 0);
}

}  // namespace
