// tuner-host and tuner-emulator as a user runs them: the whole chain from the command line.
#include <gtest/gtest.h>

#include <fstream>

#include "pty_line.h"

namespace {

class Tools : public ::testing::Test {
  protected:
    std::vector<std::string> Environment() const { return {"WIN32_PREFIX=" + prefix.path()}; }
    ProcessResult Host(std::vector<std::string> arguments) const {
        arguments.insert(arguments.begin(), {TUNER_HOST_PATH, "--plugin", TUNER_MODULE_PATH});
        return RunProgram(arguments, Environment());
    }
    TestPrefix prefix;
};

TEST_F(Tools, HostDialsThroughTheEmulator) {
    prefix.WriteSettings("[Settings]\nSleep=50\nLog=true\n");
    std::string link = prefix.path() + "/dosdevices/com1";
    std::string capture = prefix.path() + "/capture.bin";
    Child emulator({TUNER_EMULATOR_PATH, "--link", link, "--capture", capture, "--keys", "3"});
    ASSERT_TRUE(Contains(emulator.ReadLine(), "listening on /dev/pts/"));

    ProcessResult host = Host({"properties", "dial", "42"});
    EXPECT_EQ(host.status, 0) << host.out << host.err;
    EXPECT_TRUE(Contains(host.out, "loaded\n"));
    EXPECT_TRUE(Contains(host.out,
                         "TunerGetProperties -> 1: 2, 1, name \"Larkbox Serial Tuner\", "
                         "description \"Quill Crest Larkbox Serial Tuner\"\n"));
    EXPECT_TRUE(Contains(host.out, "SetTunerFrequency(42, 0, 0) -> 1\n"));
    EXPECT_TRUE(Contains(host.out, "unloaded\n"));

    std::vector<std::string> keys;
    for (int i = 0; i < 4; ++i) {
        keys.push_back(emulator.ReadLine());
    }
    EXPECT_TRUE(Contains(keys[0], "key 4       (code 0x04) check ok")) << keys[0];
    EXPECT_TRUE(Contains(keys[1], "key 2       (code 0x02) check ok")) << keys[1];
    EXPECT_TRUE(Contains(keys[2], "key closing (code 0x11) check ok")) << keys[2];
    EXPECT_EQ(keys[3], "3 keys, 99 bytes, 0 errors");
    EXPECT_FALSE(FileExists(link));  // the emulator takes its link away when it stops

    ProcessResult decoded = RunProgram({TUNER_EMULATOR_PATH, "--decode", capture});
    EXPECT_EQ(decoded.status, 0);
    EXPECT_EQ(decoded.out,
              "key 4       (code 0x04) check ok\n"
              "key 2       (code 0x02) check ok\n"
              "key closing (code 0x11) check ok\n"
              "3 keys, 99 bytes, 0 errors\n");
    EXPECT_EQ(ReadFile(prefix.LogPath()),
              "Larkbox Serial Tuner opened a port to: COM1\r\n"
              "Larkbox - TunerGetProperties was called\r\n"
              "Channel:42   BroadcastType:0   Frequency:0\r\n");
}

TEST_F(Tools, HostSaysPlainlyWhatWentWrong) {
    prefix.MapPort(1, prefix.path() + "/nothing-here");
    ProcessResult failed = Host({"dial", "42"});
    EXPECT_EQ(failed.status, 1);
    EXPECT_EQ(failed.err, "Larkbox Serial Tuner: Larkbox Serial Tuner cannot open port: COM1\n");
    EXPECT_TRUE(Contains(failed.out, "load failed: the plug-in refused to start"));

    ProcessResult missing = RunProgram({TUNER_HOST_PATH, "--plugin", "/no/such.so", "properties"});
    EXPECT_EQ(missing.status, 1);
    EXPECT_TRUE(Contains(missing.out, "load failed: no loadable module at that path"));

    for (std::vector<std::string> usage : std::vector<std::vector<std::string>>{
             {}, {"dial"}, {"dial", "x"}, {"dial", "1", "2"}, {"tune"}, {"dial", "99999999999"}}) {
        usage.insert(usage.begin(), TUNER_HOST_PATH);
        EXPECT_EQ(RunProgram(usage).status, 2) << usage.size();
    }
}

TEST_F(Tools, RefusedDialMakesTheHostFail) {
    TunerLine line;
    prefix.MapPort(1, line.device());
    ProcessResult host = Host({"dial", "-5", "1", "2"});
    EXPECT_EQ(host.status, 1);
    EXPECT_TRUE(Contains(host.out, "SetTunerFrequency(-5, 1, 2) -> 0 (refused)"));
    EXPECT_TRUE(line.WaitForBytes(1, 200).empty());
}

TEST_F(Tools, TwoHostsCannotShareThePort) {
    TunerLine line;
    prefix.WriteSettings("[Settings]\nSleep=400\n");
    prefix.MapPort(1, line.device());
    Child first({TUNER_HOST_PATH, "--plugin", TUNER_MODULE_PATH, "dial", "99"}, Environment());
    ASSERT_EQ(first.ReadLine(), std::string("loading ") + TUNER_MODULE_PATH);
    ASSERT_EQ(first.ReadLine(), "loaded");
    ProcessResult second = Host({"dial", "1"});
    EXPECT_EQ(second.status, 1);
    EXPECT_EQ(second.err, "Larkbox Serial Tuner: Larkbox Serial Tuner cannot open port: COM1\n");
    EXPECT_EQ(first.ReadLine(), "SetTunerFrequency(99, 0, 0) -> 1");
    EXPECT_EQ(line.WaitForBytes(99), ExpectedLine({9, 9, 0x11}));
}

TEST(Emulator, DecodeReportsDamagedCaptures) {
    std::vector<std::uint8_t> bytes = ExpectedLine({3, 0x11});
    bytes[30] ^= 0xFF;
    bytes.pop_back();
    char name[] = "/tmp/tuner-capture-XXXXXX";
    int fd = mkstemp(name);
    ASSERT_EQ(write(fd, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    close(fd);
    ProcessResult decoded = RunProgram({TUNER_EMULATOR_PATH, "--decode", name});
    unlink(name);
    EXPECT_EQ(decoded.status, 3);
    EXPECT_TRUE(Contains(decoded.out, "carries check value")) << decoded.out;
    EXPECT_TRUE(Contains(decoded.out, "key 3       (code 0x03) check WRONG")) << decoded.out;
    EXPECT_TRUE(Contains(decoded.out, "stream ends inside a frame")) << decoded.out;
}

}  // namespace
