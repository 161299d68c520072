// The 64-bit Windows build end to end under wine64: tuner-host.exe loads the module inside one
// fresh Wine prefix made for this run, with COM1 mapped through the registry to a link that each
// test points at a tuner-emulator's pseudo-terminal and COM2 mapped to a path that names nothing.
// Message boxes are read back by tuner-host --answer-dialogs, so the run needs a display
// (CTest starts it under xvfb-run).
//
//   wine_e2e_tests TUNER_HOST_EXE TUNER_EMULATOR [gtest options]
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "pty_line.h"

namespace {

const char kWine[] = "/usr/lib/wine/wine64";
const char kWineServer[] = "/usr/lib/wine/wineserver64";

std::string hostExe;
std::string emulatorPath;
TestPrefix* prefix = nullptr;  // the WINEPREFIX of this run

std::string WithoutCarriageReturns(std::string text) {
    text.erase(std::remove(text.begin(), text.end(), '\r'), text.end());
    return text;
}

std::string ComOneLink() {
    return prefix->path() + "/tuner-com1";
}

std::string ComTwoTarget() {
    return prefix->path() + "/unplugged";
}

ProcessResult Wine(std::vector<std::string> arguments) {
    arguments.insert(arguments.begin(), kWine);
    ProcessResult result = RunProgram(arguments);
    result.out = WithoutCarriageReturns(result.out);
    result.err = WithoutCarriageReturns(result.err);
    return result;
}

ProcessResult Host(std::vector<std::string> commands) {
    commands.insert(commands.begin(), {hostExe, "--answer-dialogs"});
    return Wine(commands);
}

std::string LinkTarget(const std::string& link) {
    char target[4096];
    ssize_t length = readlink(link.c_str(), target, sizeof target);
    return length < 0 ? "" : std::string(target, static_cast<std::size_t>(length));
}

// Makes the prefix and maps the ports; false (with the reason printed) when Wine did not take
// the mapping, since COM1 would otherwise be this machine's console.
bool MakeWinePrefix() {
    prefix = new TestPrefix();
    // Wine takes an existing dosdevices folder for a finished prefix and finds no drive C: there.
    rmdir((prefix->path() + "/dosdevices").c_str());
    setenv("WINEPREFIX", prefix->path().c_str(), 1);
    setenv("WINEDEBUG", "-all", 1);
    setenv("WINEDLLOVERRIDES", "mscoree,mshtml=", 1);
    if (Wine({"wineboot", "-i"}).status != 0) {
        std::fprintf(stderr, "wineboot failed in %s\n", prefix->path().c_str());
        return false;
    }
    const char key[] = "HKLM\\Software\\Wine\\Ports";
    Wine({"reg", "add", key, "/v", "COM1", "/t", "REG_SZ", "/d", ComOneLink(), "/f"});
    Wine({"reg", "add", key, "/v", "COM2", "/t", "REG_SZ", "/d", ComTwoTarget(), "/f"});
    // Wine rewrites its dosdevices links from the registry when it next starts. It also gives
    // this machine's own serial devices (the console among them) the next free COM numbers, COM3
    // and up: no test here names any port but COM1 and COM2.
    RunProgram({kWineServer, "-w"});
    Wine({"reg", "query", key});
    std::string com1 = LinkTarget(prefix->path() + "/dosdevices/com1");
    std::string com2 = LinkTarget(prefix->path() + "/dosdevices/com2");
    if (com1 != ComOneLink() || com2 != ComTwoTarget()) {
        std::fprintf(stderr, "Wine did not map the ports: com1 -> %s, com2 -> %s\n", com1.c_str(),
                     com2.c_str());
        return false;
    }
    return true;
}

void RemoveWinePrefix() {
    RunProgram({kWineServer, "-k"});
    RunProgram({kWineServer, "-w"});
    delete prefix;
    prefix = nullptr;
}

class UnderWine : public ::testing::Test {
  protected:
    void SetUp() override {
        unlink(prefix->LogPath().c_str());
        mkdir(prefix->LogFolder().c_str(), 0755);
    }
    // A tuner on COM1 that stops after `keys` key commands, keeping every byte in a capture.
    void StartTuner(int keys) {
        unlink(capture.c_str());
        tuner.reset(new Child({emulatorPath, "--link", ComOneLink(), "--capture", capture, "--keys",
                               std::to_string(keys)}));
        ASSERT_TRUE(Contains(tuner->ReadLine(), "listening on /dev/pts/"));
    }
    // Everything the tuner received once it has stopped (or after the timeout).
    std::vector<std::uint8_t> Received() {
        for (std::string line = "-"; !line.empty() && !Contains(line, " errors");) {
            line = tuner->ReadLine(10000);
        }
        tuner.reset();  // stops it if it is still waiting
        std::string bytes = ReadFile(capture);
        return std::vector<std::uint8_t>(bytes.begin(), bytes.end());
    }
    std::string capture = prefix->path() + "/capture.bin";
    std::unique_ptr<Child> tuner;
};

TEST_F(UnderWine, DialsFortyTwoByteForByte) {
    prefix->WriteSettings("[Settings]\r\nPort=COM1\r\nSleep=20\r\n");
    StartTuner(3);
    ProcessResult host = Host({"dial", "42"});
    EXPECT_EQ(host.status, 0) << host.out << host.err;
    EXPECT_TRUE(Contains(host.out, "loaded\nSetTunerFrequency(42, 0, 0) -> 1\nunloaded\n"))
        << host.out;
    EXPECT_EQ(Received(), ExpectedLine({4, 2, 0x11}));
    EXPECT_FALSE(FileExists(prefix->LogPath()));
}

TEST_F(UnderWine, NegativeChannelSendsNothing) {
    prefix->WriteSettings("[Settings]\r\nSleep=0\r\n");
    StartTuner(2);
    ProcessResult host = Host({"dial", "-5", "dial", "7"});
    EXPECT_EQ(host.status, 1) << host.out << host.err;
    EXPECT_TRUE(Contains(host.out, "SetTunerFrequency(-5, 0, 0) -> 0 (refused)\n")) << host.out;
    EXPECT_TRUE(Contains(host.out, "SetTunerFrequency(7, 0, 0) -> 1\n")) << host.out;
    // The first thing on the line is the 7: the refused channel sent nothing at all.
    EXPECT_EQ(Received(), ExpectedLine({7, 0x11}));
}

TEST_F(UnderWine, PropertiesRecord) {
    prefix->WriteSettings("[Settings]\r\nPort=COM1\r\n");
    StartTuner(1);
    ProcessResult host = Host({"properties"});
    EXPECT_EQ(host.status, 0) << host.out << host.err;
    EXPECT_TRUE(Contains(host.out,
                         "TunerGetProperties -> 1: 2, 1, name \"Larkbox Serial Tuner\", "
                         "description \"Quill Crest Larkbox Serial Tuner\"\n"))
        << host.out;
    EXPECT_EQ(host.err, "");
}

TEST_F(UnderWine, LogIsWrittenByTheRuntimeAndEmptiedOnTheNextLoad) {
    prefix->WriteSettings("[Settings]\r\nPort=COM1\r\nSleep=0\r\nLog=true\r\n");
    StartTuner(3);
    ProcessResult host = Host({"properties", "dial", "42", "3", "4", "dial", "-7"});
    EXPECT_EQ(host.status, 1) << host.out << host.err;  // -7 is refused
    EXPECT_EQ(Received(), ExpectedLine({4, 2, 0x11}));
    EXPECT_EQ(ReadFile(prefix->LogPath()),
              "Larkbox Serial Tuner opened a port to: COM1\r\n"
              "Larkbox - TunerGetProperties was called\r\n"
              "Channel:42   BroadcastType:3   Frequency:4\r\n"
              "Channel:-7   BroadcastType:0   Frequency:0\r\n");

    StartTuner(1);
    host = Host({"properties"});
    EXPECT_EQ(host.status, 0) << host.out << host.err;
    EXPECT_EQ(ReadFile(prefix->LogPath()),
              "Larkbox Serial Tuner opened a port to: COM1\r\n"
              "Larkbox - TunerGetProperties was called\r\n");
}

TEST_F(UnderWine, MissingLogFolderMeansNoLogAndAWorkingDial) {
    prefix->WriteSettings("[Settings]\r\nSleep=0\r\nLog=true\r\n");
    ASSERT_EQ(rmdir(prefix->LogFolder().c_str()), 0);
    StartTuner(2);
    ProcessResult host = Host({"dial", "9"});
    EXPECT_EQ(host.status, 0) << host.out << host.err;
    EXPECT_EQ(host.err, "");
    EXPECT_EQ(Received(), ExpectedLine({9, 0x11}));
    EXPECT_FALSE(FileExists(prefix->LogFolder()));
}

TEST_F(UnderWine, PortThatNamesNothingShowsItsMessageAndFailsTheLoad) {
    prefix->WriteSettings("[Settings]\r\nPort=COM2\r\nLog=true\r\n");
    ProcessResult host = Host({"properties"});
    EXPECT_EQ(host.status, 1) << host.out << host.err;
    EXPECT_TRUE(Contains(host.out, "load failed: the plug-in refused to start")) << host.out;
    EXPECT_FALSE(Contains(host.out, "TunerGetProperties"));
    EXPECT_EQ(host.err, "Larkbox Serial Tuner: Larkbox Serial Tuner cannot open port: COM2\n");
    EXPECT_FALSE(FileExists(prefix->LogPath()));
}

TEST_F(UnderWine, OrdinaryFileAsThePortIsRefusedAndLeftUnchanged) {
    std::string file = prefix->path() + "/drive_c/port.bin";
    std::string contents = "a file that must keep its bytes\n";
    {
        FILE* out = std::fopen(file.c_str(), "wb");
        ASSERT_NE(out, nullptr);
        std::fputs(contents.c_str(), out);
        std::fclose(out);
    }
    prefix->WriteSettings("[Settings]\r\nPort=C:\\port.bin\r\nSleep=0\r\n");
    ProcessResult host = Host({"dial", "42"});
    EXPECT_EQ(host.status, 1) << host.out << host.err;
    EXPECT_TRUE(Contains(host.out, "load failed: the plug-in refused to start")) << host.out;
    EXPECT_EQ(host.err,
              "Larkbox Serial Tuner: Larkbox Serial Tuner cannot open port: C:\\port.bin\n");
    EXPECT_EQ(ReadFile(file), contents);
}

}  // namespace

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    if (argc != 3) {
        std::fprintf(stderr, "usage: wine_e2e_tests TUNER_HOST_EXE TUNER_EMULATOR\n");
        return 2;
    }
    hostExe = argv[1];
    emulatorPath = argv[2];
    if (std::getenv("DISPLAY") == nullptr) {
        std::fprintf(stderr, "wine_e2e_tests: no display; run it under xvfb-run -a\n");
        return 2;
    }
    if (!MakeWinePrefix()) {
        RemoveWinePrefix();
        return 1;
    }
    int status = RUN_ALL_TESTS();
    RemoveWinePrefix();
    return status;
}
