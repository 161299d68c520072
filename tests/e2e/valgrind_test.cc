// tuner-host under valgrind's memcheck: load, properties, dial and unload of the module through the
// loader stand-in, with the log on, must end without a memory error or a leak.
#include <gtest/gtest.h>

#include "pty_line.h"

namespace {

TEST(Valgrind, HostLoadsDialsAndUnloadsWithoutErrorsOrLeaks) {
    TestPrefix prefix;
    TunerLine line;
    prefix.MapPort(1, line.device());
    prefix.WriteSettings("[Settings]\nSleep=0\nLog=true\n");
    ProcessResult run =
        RunProgram({TUNER_VALGRIND, "--leak-check=full", "--error-exitcode=1", TUNER_HOST_PATH,
                    "--plugin", TUNER_MODULE_PATH, "properties", "dial", "42", "dial", "-3"});
    // The refused -3 makes tuner-host answer 1 as well: the error summary tells the two apart.
    EXPECT_TRUE(Contains(run.err, "ERROR SUMMARY: 0 errors from 0 contexts")) << run.err;
    EXPECT_TRUE(Contains(run.err, "definitely lost: 0 bytes") ||
                Contains(run.err, "All heap blocks were freed"))
        << run.err;
    EXPECT_TRUE(Contains(run.out, "SetTunerFrequency(42, 0, 0) -> 1\n")) << run.out;
    EXPECT_TRUE(Contains(run.out, "unloaded\n")) << run.out;
    EXPECT_EQ(line.WaitForBytes(99), ExpectedLine({4, 2, 0x11}));
    EXPECT_EQ(ReadFile(prefix.LogPath()),
              "Larkbox Serial Tuner opened a port to: COM1\r\n"
              "Larkbox - TunerGetProperties was called\r\n"
              "Channel:42   BroadcastType:0   Frequency:0\r\n"
              "Channel:-3   BroadcastType:0   Frequency:0\r\n");
}

}  // namespace
