// The serial link and dialing on the POSIX stand-in, against a pseudo-terminal mapped as a COM
// port of a throw-away prefix.
#include <gtest/gtest.h>

#include <csignal>
#include <fcntl.h>
#include <termios.h>
#include <sys/wait.h>
#include <unistd.h>

#include <future>

#include "keys/dialing.h"
#include "pty_line.h"
#include "serial/serial_port.h"

namespace {

using Clock = std::chrono::steady_clock;

class SerialLine : public ::testing::Test {
  protected:
    void SetUp() override {
        prefix.MapPort(1, line.device());
        KeyDelay = kDefaultKeyDelay;
    }
    void TearDown() override { CloseTunerPort(); }
    TestPrefix prefix;
    TunerLine line;
};

double Milliseconds(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

TEST_F(SerialLine, ChannelFortyTwoArrivesWithAPauseAfterEveryDigit) {
    ASSERT_TRUE(OpenTunerPort("COM1"));
    Clock::time_point start = Clock::now();
    ASSERT_EQ(SetTunerFrequency(42, 0, 0), 1);
    Clock::time_point end = Clock::now();
    EXPECT_EQ(line.WaitForBytes(99), ExpectedLine({4, 2, 0x11}));
    std::vector<TunerLine::Key> keys = line.Keys();
    ASSERT_EQ(keys.size(), 3u);
    // The closing key waits for the pause after the last digit; nothing waits after it.
    EXPECT_GE(Milliseconds(keys[1].arrived - keys[0].arrived), 195.0);
    EXPECT_GE(Milliseconds(keys[2].arrived - keys[1].arrived), 195.0);
    EXPECT_GE(Milliseconds(end - start), 395.0);
    EXPECT_TRUE(line.Errors().empty());
}

TEST_F(SerialLine, LongestChannelArrivesByteForByte) {
    KeyDelay = 5;
    ASSERT_TRUE(OpenTunerPort("COM1"));
    ASSERT_EQ(SetTunerFrequency(2147483647, 0, 0), 1);
    std::vector<std::uint8_t> expected = ExpectedLine({2, 1, 4, 7, 4, 8, 3, 6, 4, 7, 0x11});
    EXPECT_EQ(expected.size(), 363u);
    EXPECT_EQ(line.WaitForBytes(363), expected);
    for (const TunerLine::Key& key : line.Keys()) {
        EXPECT_TRUE(key.checkOk);
    }
}

TEST_F(SerialLine, NegativeChannelSendsNothing) {
    ASSERT_TRUE(OpenTunerPort("COM1"));
    EXPECT_EQ(SetTunerFrequency(-5, 0, 0), 0);
    EXPECT_TRUE(line.WaitForBytes(1, 300).empty());
}

TEST_F(SerialLine, PortThatNamesNothingFailsWithItsMessage) {
    prefix.MapPort(5, prefix.path() + "/no-such-device");
    for (const char* name : {"COM5", "/nonexistent/tty"}) {
        testing::internal::CaptureStderr();
        EXPECT_FALSE(OpenTunerPort(name));
        EXPECT_EQ(testing::internal::GetCapturedStderr(),
                  std::string("Larkbox Serial Tuner: Larkbox Serial Tuner cannot open port: ") +
                      name + "\n");
        EXPECT_EQ(PortHandle, nullptr);
    }
}

TEST_F(SerialLine, PortHeldByAnotherProgramIsRefused) {
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    pid_t holder = fork();
    if (holder == 0) {
        int fd = open(line.device().c_str(), O_RDWR | O_NOCTTY);
        char c = fd >= 0 ? 'y' : 'n';
        write(ready[1], &c, 1);
        pause();
        _exit(0);
    }
    char answer = 0;
    ASSERT_EQ(read(ready[0], &answer, 1), 1);
    ASSERT_EQ(answer, 'y');
    testing::internal::CaptureStderr();
    EXPECT_FALSE(OpenTunerPort("COM1"));
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "Larkbox Serial Tuner: Larkbox Serial Tuner cannot open port: COM1\n");
    kill(holder, SIGKILL);
    waitpid(holder, nullptr, 0);
    close(ready[0]);
    close(ready[1]);
    // Once the other program is gone, the port opens.
    EXPECT_TRUE(OpenTunerPort("COM1"));
}

TEST_F(SerialLine, SecondOpenInTheSameProcessIsRefused) {
    ASSERT_TRUE(OpenTunerPort("COM1"));
    HANDLE second =
        CreateFileA("COM1", GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    EXPECT_EQ(second, INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_SHARING_VIOLATION);
}

TEST_F(SerialLine, OrdinaryFileNamedAsThePortIsRefusedAndLeftAlone) {
    std::string file = prefix.path() + "/drive_c/precious.dat";
    const std::string contents(100, 'z');
    FILE* f = std::fopen(file.c_str(), "wb");
    std::fwrite(contents.data(), 1, contents.size(), f);
    std::fclose(f);
    for (const char* name : {"C:\\precious.dat", file.c_str()}) {
        testing::internal::CaptureStderr();
        EXPECT_FALSE(OpenTunerPort(name));
        EXPECT_NE(testing::internal::GetCapturedStderr().find("cannot open port: "),
                  std::string::npos);
        EXPECT_EQ(PortHandle, nullptr);
    }
    EXPECT_EQ(ReadFile(file), contents);
    // A folder is no port either.
    testing::internal::CaptureStderr();
    EXPECT_FALSE(OpenTunerPort("C:\\"));
    testing::internal::GetCapturedStderr();
}

TEST_F(SerialLine, TunerGoingAwayMidDialLetsTheDialFinish) {
    KeyDelay = 100;
    ASSERT_TRUE(OpenTunerPort("COM1"));
    std::future<std::int32_t> dial =
        std::async(std::launch::async, [] { return SetTunerFrequency(123456, 0, 0); });
    line.WaitForBytes(33);
    line.Hangup();
    ASSERT_EQ(dial.wait_for(std::chrono::seconds(10)), std::future_status::ready);
    EXPECT_EQ(dial.get(), 1);
    // The writes after the hang-up fail, and say so.
    const std::uint8_t byte = 0;
    EXPECT_FALSE(WritePort(&byte, 1));
}

TEST_F(SerialLine, LineIsSetRawAtNineSixHundredEightNOne) {
    ASSERT_TRUE(OpenTunerPort("COM1"));
    int fd = open(line.device().c_str(), O_RDONLY | O_NOCTTY | O_NONBLOCK);
    termios settings;
    ASSERT_EQ(tcgetattr(fd, &settings), 0);
    close(fd);
    EXPECT_EQ(cfgetospeed(&settings), B9600);
    EXPECT_EQ(settings.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
    EXPECT_EQ(settings.c_cflag & (PARENB | CSTOPB), 0u);
    EXPECT_EQ(settings.c_oflag & OPOST, 0u);  // a 0x0A in a command must not become CR LF
}

}  // namespace
