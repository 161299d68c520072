// The plug-in module as the host sees it: loaded through the loader stand-in with its settings
// file and a pseudo-terminal as COM1, called through its exports, unloaded.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/win32.h"
#include "plugin/tuner_api.h"
#include "module_fixture.h"

namespace {

constexpr bool kSanitized = TUNER_SANITIZED;

TEST_F(Module, LoadsWithDefaultsAndDials) {
    ASSERT_TRUE(Load());
    EXPECT_EQ(dial(42, 0, 0), 1);
    EXPECT_EQ(line.WaitForBytes(99), ExpectedLine({4, 2, 0x11}));
    Unload();
    EXPECT_FALSE(FileExists(prefix.LogPath()));
}

TEST_F(Module, MissingPortFailsTheLoadAndLeavesNothingOpen) {
    prefix.WriteSettings("[Settings]\nPort=COM4\nLog=true\n");
    prefix.MapPort(4, prefix.path() + "/unplugged");
    int before = OpenDescriptorCount();
    testing::internal::CaptureStderr();
    EXPECT_FALSE(Load());
    EXPECT_EQ(GetLastError(), ERROR_DLL_INIT_FAILED);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "Larkbox Serial Tuner: Larkbox Serial Tuner cannot open port: COM4\n");
    EXPECT_EQ(OpenDescriptorCount(), before);
    EXPECT_FALSE(FileExists(prefix.LogPath()));
}

TEST_F(Module, ThreadNotificationsChangeNothing) {
    ASSERT_TRUE(Load());
    typedef BOOL(WINAPI * Entry)(HINSTANCE, DWORD, LPVOID);
    Entry entry =
        reinterpret_cast<Entry>(reinterpret_cast<void*>(GetProcAddress(module, "DllMain")));
    ASSERT_NE(entry, nullptr);
    EXPECT_EQ(entry(nullptr, DLL_THREAD_ATTACH, nullptr), TRUE);
    EXPECT_EQ(entry(nullptr, DLL_THREAD_DETACH, nullptr), TRUE);
    EXPECT_EQ(dial(7, 0, 0), 1);
    EXPECT_EQ(line.WaitForBytes(66), ExpectedLine({7, 0x11}));
}

TEST_F(Module, PropertiesTouchOnlyTheirBytes) {
    ASSERT_TRUE(Load());
    unsigned char record[400];
    std::memset(record, 0xEE, sizeof record);
    EXPECT_EQ(properties(reinterpret_cast<TunerProperties*>(record)), 1);
    EXPECT_EQ(record[0], 2);
    EXPECT_EQ(record[4], 1);
    EXPECT_STREQ(reinterpret_cast<char*>(record + 8), "Larkbox Serial Tuner");
    EXPECT_STREQ(reinterpret_cast<char*>(record + 268), "Quill Crest Larkbox Serial Tuner");
    for (std::size_t i = 0; i < sizeof record; ++i) {
        if (!(i <= 28 || (i >= 268 && i <= 300))) {
            ASSERT_EQ(record[i], 0xEE) << "byte " << i;
        }
    }
    EXPECT_EQ(properties(nullptr), 0);
}

TEST_F(Module, LogHoldsEveryCallInOrderOnceUnloaded) {
    prefix.WriteSettings("[Settings]\r\nPort=COM2\r\nSleep=10\r\nLog=True\r\n");
    prefix.MapPort(2, line.device());
    ASSERT_TRUE(Load());
    properties(nullptr);
    dial(42, 3, 4);
    dial(-7, 0, 0);
    // Lines are buffered until the module unloads.
    EXPECT_EQ(ReadFile(prefix.LogPath()), "");
    Unload();
    EXPECT_EQ(ReadFile(prefix.LogPath()),
              "Larkbox Serial Tuner opened a port to: COM2\r\n"
              "Larkbox - TunerGetProperties was called\r\n"
              "Channel:42   BroadcastType:3   Frequency:4\r\n"
              "Channel:-7   BroadcastType:0   Frequency:0\r\n");
    // The next load with the log on starts the file afresh.
    ASSERT_TRUE(Load());
    Unload();
    EXPECT_EQ(ReadFile(prefix.LogPath()), "Larkbox Serial Tuner opened a port to: COM2\r\n");
}

TEST_F(Module, LogOffLeavesAnOldLogAlone) {
    std::ofstream(prefix.LogPath()) << "from an earlier run\n";
    prefix.WriteSettings("[Settings]\nLog=no\n");
    ASSERT_TRUE(Load());
    dial(1, 0, 0);
    Unload();
    EXPECT_EQ(ReadFile(prefix.LogPath()), "from an earlier run\n");
}

TEST_F(Module, MissingLogFolderMeansNoLogAndAWorkingDial) {
    prefix.WriteSettings("[Settings]\nLog=true\nSleep=0\n");
    ASSERT_EQ(rmdir(prefix.LogFolder().c_str()), 0);
    testing::internal::CaptureStderr();
    ASSERT_TRUE(Load());
    EXPECT_EQ(dial(42, 0, 0), 1);
    EXPECT_EQ(line.WaitForBytes(99), ExpectedLine({4, 2, 0x11}));
    Unload();
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_FALSE(FileExists(prefix.LogPath()));
}

TEST_F(Module, BrokenSettingsFilesGiveDefaults) {
    // A folder in the file's place, then binary garbage: the load goes on with COM1 and 200 ms.
    ASSERT_EQ(mkdir(prefix.SettingsPath().c_str(), 0755), 0);
    ASSERT_TRUE(Load());
    Unload();
    ASSERT_EQ(rmdir(prefix.SettingsPath().c_str()), 0);
    std::string garbage;
    for (int i = 0; i < 5000; ++i) {
        garbage += static_cast<char>((i * 7919) % 256);
    }
    prefix.WriteSettings(garbage);
    ASSERT_TRUE(Load());
    EXPECT_EQ(dial(5, 0, 0), 1);
    EXPECT_EQ(line.WaitForBytes(66), ExpectedLine({5, 0x11}));
}

TEST_F(Module, ThousandLoadsLeaveNoDescriptorOrMemoryBehind) {
    prefix.WriteSettings("[Settings]\nLog=true\n");
    auto residentKilobytes = [] {
        std::ifstream status("/proc/self/status");
        std::string word;
        long value = 0;
        while (status >> word) {
            if (word == "VmRSS:") {
                status >> value;
            }
        }
        return value;
    };
    for (int i = 0; i < 20; ++i) {  // let the allocator and the loader settle first
        ASSERT_TRUE(Load());
        Unload();
    }
    int descriptors = OpenDescriptorCount();
    long memory = residentKilobytes();
    for (int i = 0; i < 1000; ++i) {
        ASSERT_TRUE(Load()) << "cycle " << i;
        properties(nullptr);
        Unload();
    }
    EXPECT_EQ(OpenDescriptorCount(), descriptors);
    // Under the sanitizers the resident size says nothing (quarantine, shadow memory); their
    // leak check at exit takes its place there.
    if (!kSanitized) {
        EXPECT_LT(residentKilobytes() - memory, 1024);
    }
}

TEST_F(Module, ExportsExactlyTheEntryPoints) {
    std::string command = std::string("nm -D --defined-only '") + TUNER_MODULE_PATH +
                          "' | awk '$2 ~ /^[TtDdBbWw]$/ {print $3}' | sort";
    FILE* pipe = popen(command.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    std::string names;
    char chunk[256];
    while (std::fgets(chunk, sizeof chunk, pipe) != nullptr) {
        names += chunk;
    }
    pclose(pipe);
    EXPECT_EQ(names, "DllMain\nSetTunerFrequency\nTunerGetProperties\n");
}

}  // namespace
