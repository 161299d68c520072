// What goes wrong in the field, through the module as the host loads it: the tuner's adapter
// pulled in the middle of a dial, settings edited between loads, huge settings files, a log that
// cannot be written or whose folder goes away. Each ends with a clear result and nothing lost.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <future>
#include <sys/stat.h>
#include <unistd.h>

#include "module_fixture.h"

namespace {

class Faults : public Module {
  protected:
    void WriteLargeSettings(std::size_t otherLines, const std::string& ours) {
        std::ofstream file(prefix.SettingsPath(), std::ios::binary);
        file << "[Other]\n";
        for (std::size_t i = 0; i < otherLines; ++i) {
            file << "Key" << i << "=" << std::string(24, 'v') << "\n";
        }
        file << ours;
    }
};

TEST_F(Faults, TunerVanishesMidDialAndComesBackBeforeTheNextLoad) {
    prefix.WriteSettings("[Settings]\nSleep=50\nLog=true\n");
    ASSERT_TRUE(Load());
    std::future<std::int32_t> pending =
        std::async(std::launch::async, [this] { return dial(98765, 0, 0); });
    line.WaitForBytes(33);
    // The adapter is pulled: its end of the line closes and its device name goes away.
    line.Hangup();
    unlink((prefix.path() + "/dosdevices/com1").c_str());
    ASSERT_EQ(pending.wait_for(std::chrono::seconds(10)), std::future_status::ready);
    EXPECT_EQ(pending.get(), 1);
    EXPECT_EQ(dial(5, 0, 0), 1);  // later dials end too, unheard
    Unload();
    EXPECT_EQ(ReadFile(prefix.LogPath()),
              "Larkbox Serial Tuner opened a port to: COM1\r\n"
              "Channel:98765   BroadcastType:0   Frequency:0\r\n"
              "Channel:5   BroadcastType:0   Frequency:0\r\n");

    // Plugged in again, as a new device under the same name: the next load uses it.
    TunerLine again;
    prefix.MapPort(1, again.device());
    ASSERT_TRUE(Load());
    EXPECT_EQ(dial(42, 0, 0), 1);
    EXPECT_EQ(again.WaitForBytes(99), ExpectedLine({4, 2, 0x11}));
    Unload();
    EXPECT_EQ(ReadFile(prefix.LogPath()),
              "Larkbox Serial Tuner opened a port to: COM1\r\n"
              "Channel:42   BroadcastType:0   Frequency:0\r\n");
}

TEST_F(Faults, SettingsChangesTakeEffectAtTheNextLoadOnly) {
    TunerLine second;
    prefix.MapPort(2, second.device());
    prefix.WriteSettings("[Settings]\nPort=COM1\nSleep=0\n");
    ASSERT_TRUE(Load());
    prefix.WriteSettings("[Settings]\nPort=COM2\nSleep=0\nLog=true\n");  // while loaded
    EXPECT_EQ(dial(7, 0, 0), 1);
    EXPECT_EQ(line.WaitForBytes(66), ExpectedLine({7, 0x11}));
    Unload();
    EXPECT_FALSE(FileExists(prefix.LogPath()));

    ASSERT_TRUE(Load());
    EXPECT_EQ(dial(8, 0, 0), 1);
    EXPECT_EQ(second.WaitForBytes(66), ExpectedLine({8, 0x11}));
    Unload();
    EXPECT_EQ(line.WaitForBytes(67, 200).size(), 66u);  // nothing more on the first line
    EXPECT_EQ(ReadFile(prefix.LogPath()),
              "Larkbox Serial Tuner opened a port to: COM2\r\n"
              "Channel:8   BroadcastType:0   Frequency:0\r\n");

    // The file removed: defaults again (COM1, no log), and the old log is left as it was.
    ASSERT_EQ(unlink(prefix.SettingsPath().c_str()), 0);
    ASSERT_TRUE(Load());
    EXPECT_EQ(dial(1, 0, 0), 1);
    EXPECT_EQ(line.WaitForBytes(132), ExpectedLine({7, 0x11, 1, 0x11}));
    Unload();
    EXPECT_EQ(ReadFile(prefix.LogPath()),
              "Larkbox Serial Tuner opened a port to: COM2\r\n"
              "Channel:8   BroadcastType:0   Frequency:0\r\n");
}

TEST_F(Faults, HugeSettingsFiles) {
    // A million other keys before the plug-in's own section: about 32 MiB.
    WriteLargeSettings(1000000, "[Settings]\nPort=COM2\nSleep=0\n");
    prefix.MapPort(2, line.device());
    ASSERT_TRUE(Load());
    EXPECT_EQ(dial(6, 0, 0), 1);
    EXPECT_EQ(line.WaitForBytes(66), ExpectedLine({6, 0x11}));
    Unload();

    // One 8 MiB line as the port name: it is cut to 259 characters, names no device, and the
    // message shows the first 60 of them.
    prefix.WriteSettings("[Settings]\nPort=" + std::string(8 << 20, 'x') + "\n");
    testing::internal::CaptureStderr();
    EXPECT_FALSE(Load());
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "Larkbox Serial Tuner: Larkbox Serial Tuner cannot open port: " +
                  std::string(60, 'x') + "\n");
}

TEST_F(Faults, LogPathThatIsAFolderMeansNoLogAndAWorkingDial) {
    prefix.WriteSettings("[Settings]\nSleep=0\nLog=true\n");
    ASSERT_EQ(mkdir(prefix.LogPath().c_str(), 0755), 0);
    ASSERT_TRUE(Load());
    EXPECT_EQ(dial(3, 0, 0), 1);
    EXPECT_EQ(line.WaitForBytes(66), ExpectedLine({3, 0x11}));
    Unload();
    EXPECT_TRUE(std::filesystem::is_directory(prefix.LogPath()));
    EXPECT_TRUE(std::filesystem::is_empty(prefix.LogPath()));
}

TEST_F(Faults, UnwritableLogFolderMeansNoLogAndAWorkingDial) {
    prefix.WriteSettings("[Settings]\nSleep=0\nLog=true\n");
    // tuner-host and the module run from inside the prefix, as a user who may not write the
    // log folder: root may write anywhere, so as root they run as nobody.
    std::string bin = prefix.path() + "/bin";
    ASSERT_EQ(mkdir(bin.c_str(), 0755), 0);
    std::filesystem::copy_file(TUNER_HOST_PATH, bin + "/tuner-host");
    std::filesystem::copy_file(TUNER_MODULE_PATH, bin + "/" TUNER_MODULE_FILE);
    std::vector<std::string> command = {bin + "/tuner-host", "dial", "42"};
    if (geteuid() == 0) {
        ASSERT_EQ(chmod(prefix.path().c_str(), 0755), 0);
        ASSERT_EQ(chmod(line.device().c_str(), 0666), 0);
        command.insert(command.begin(),
                       {"/usr/bin/setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"});
    } else {
        ASSERT_EQ(chmod(prefix.LogFolder().c_str(), 0555), 0);
    }
    ProcessResult host = RunProgram(command, {"WIN32_PREFIX=" + prefix.path()});
    EXPECT_EQ(host.status, 0) << host.out << host.err;
    EXPECT_EQ(host.err, "");
    EXPECT_EQ(line.WaitForBytes(99), ExpectedLine({4, 2, 0x11}));
    EXPECT_FALSE(FileExists(prefix.LogPath()));
}

TEST_F(Faults, LogFolderRemovedWhileLoaded) {
    prefix.WriteSettings("[Settings]\nSleep=0\nLog=true\n");
    ASSERT_TRUE(Load());
    EXPECT_EQ(dial(1, 0, 0), 1);
    std::filesystem::remove_all(prefix.LogFolder());
    EXPECT_EQ(dial(2, 0, 0), 1);
    EXPECT_EQ(properties(nullptr), 0);
    Unload();
    EXPECT_EQ(line.WaitForBytes(132), ExpectedLine({1, 0x11, 2, 0x11}));
    EXPECT_FALSE(FileExists(prefix.LogFolder()));  // nothing made again behind the user's back
}

}  // namespace
