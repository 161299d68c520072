// The serial link: the platform calls that open, write and close the tuner's port, and how each
// failure ends.
#include <gtest/gtest.h>

#include "fixture.h"

namespace {

using Serial = FakePlatformTest;

TEST_F(Serial, OpenAsksForTheLineExclusivelyAndSetsDtrHandshake) {
    ASSERT_TRUE(OpenTunerPort("COM1"));
    EXPECT_EQ(platform.calls, (std::vector<std::string>{
                                  "CreateFileA(COM1, 0xC0000000, 0, 0x0, 3, 0x0, 0x0)",
                                  "GetFileType(0x1000)",
                                  "BuildCommDCBA(9600,N,8,1, DCBlength 28)",
                                  "SetCommState(0x1000)",
                              }));
    EXPECT_EQ(PortHandle, reinterpret_cast<HANDLE>(0x1000));
    // Everything BuildCommDCBA filled stays; only the DTR control changes.
    EXPECT_EQ(platform.lastDcb.fDtrControl, static_cast<DWORD>(DTR_CONTROL_HANDSHAKE));
    EXPECT_EQ(platform.lastDcb.BaudRate, 9600u);
    EXPECT_EQ(platform.lastDcb.ByteSize, 8);
    EXPECT_EQ(platform.lastDcb.fRtsControl, static_cast<DWORD>(RTS_CONTROL_ENABLE));
    EXPECT_EQ(platform.lastDcb.DCBlength, sizeof(DCB));
    EXPECT_TRUE(platform.boxes.empty());
}

TEST_F(Serial, OpenFailuresEndAsTheyShould) {
    const char kCannotOpen[] = "Larkbox Serial Tuner|Larkbox Serial Tuner cannot open port: COM3|0";
    const char kNoDcb[] =
        "Larkbox Serial Tuner|Couldn't build the DCB. Usually a problem a problem with the "
        "communications specification string.|0";
    struct Case {
        const char* what;
        DWORD createFileError;
        DWORD fileType;
        bool buildDcbFails;
        bool setCommStateFails;
        bool opened;
        const char* box;  // nullptr: no message
    } cases[] = {
        {"no such port", ERROR_FILE_NOT_FOUND, FILE_TYPE_CHAR, false, false, false, kCannotOpen},
        {"port in use", ERROR_SHARING_VIOLATION, FILE_TYPE_CHAR, false, false, false, kCannotOpen},
        {"no access", ERROR_ACCESS_DENIED, FILE_TYPE_CHAR, false, false, false, kCannotOpen},
        {"a disk file", 0, FILE_TYPE_DISK, false, false, false, kCannotOpen},
        {"unknown type", 0, FILE_TYPE_UNKNOWN, false, false, false, kCannotOpen},
        {"a pipe", 0, FILE_TYPE_PIPE, false, false, true, nullptr},
        {"no DCB", 0, FILE_TYPE_CHAR, true, false, false, kNoDcb},
        {"settings refused", 0, FILE_TYPE_CHAR, false, true, true, nullptr},
    };
    for (const Case& c : cases) {
        fake::Reset();
        PortHandle = nullptr;
        platform.createFileError = c.createFileError;
        platform.fileType = c.fileType;
        platform.buildDcbFails = c.buildDcbFails;
        platform.setCommStateFails = c.setCommStateFails;
        EXPECT_EQ(OpenTunerPort("COM3"), c.opened) << c.what;
        EXPECT_EQ(PortHandle != nullptr, c.opened) << c.what;
        EXPECT_EQ(platform.openHandles, c.opened ? 1 : 0) << c.what;
        std::vector<std::string> boxes;
        if (c.box != nullptr) {
            boxes.push_back(c.box);
        }
        EXPECT_EQ(platform.boxes, boxes) << c.what;
        for (const std::string& call : fake::CallsNamed("MessageBoxA")) {
            EXPECT_EQ(call, "MessageBoxA(0x0)") << c.what;  // no owner window
        }
        CloseTunerPort();
    }
}

TEST_F(Serial, FailedOpenWritesNothingIntoTheFile) {
    platform.fileType = FILE_TYPE_DISK;
    EXPECT_FALSE(OpenTunerPort("C:\\boot.ini"));
    EXPECT_TRUE(fake::CallsNamed("BuildCommDCBA").empty());
    EXPECT_TRUE(fake::CallsNamed("SetCommState").empty());
    EXPECT_EQ(fake::CallsNamed("CloseHandle"), std::vector<std::string>{"CloseHandle(0x1000)"});
}

TEST_F(Serial, OpenFailureMessageKeepsToItsBuffer) {
    platform.createFileError = ERROR_FILE_NOT_FOUND;
    const std::string prefix = "Larkbox Serial Tuner|Larkbox Serial Tuner cannot open port: ";
    std::string sixty(60, 'n');
    OpenTunerPort(sixty.c_str());
    ASSERT_EQ(platform.boxes.size(), 1u);
    EXPECT_EQ(platform.boxes[0], prefix + sixty + "|0");

    std::string longest(259, 'x');
    OpenTunerPort(longest.c_str());
    ASSERT_EQ(platform.boxes.size(), 2u);
    std::string text = platform.boxes[1].substr(platform.boxes[1].find('|') + 1);
    text = text.substr(0, text.rfind('|'));
    EXPECT_EQ(text.size(), 99u);
    EXPECT_EQ(text, "Larkbox Serial Tuner cannot open port: " + std::string(99 - 39, 'x'));
}

TEST_F(Serial, WriteResults) {
    struct Case {
        fake::WriteOutcome outcome;
        bool waits;
        bool result;
    } cases[] = {
        {fake::WriteOutcome::kDone, false, true},
        {fake::WriteOutcome::kPendingThenDone, true, true},
        {fake::WriteOutcome::kPendingThenFailed, true, false},
        {fake::WriteOutcome::kFailed, false, false},
    };
    OpenPort();
    const std::uint8_t bytes[3] = {1, 2, 3};
    for (const Case& c : cases) {
        platform.calls.clear();
        platform.writeOutcome = c.outcome;
        EXPECT_EQ(WritePort(bytes, 3), c.result);
        std::vector<std::string> expected = {"CreateEventA(0x0, 1, 0, null)"};
        ASSERT_GE(platform.calls.size(), 3u);
        EXPECT_EQ(platform.calls[0], expected[0]);
        // The write goes to the port with a zeroed record whose event is the new one.
        std::string write = platform.calls[1];
        EXPECT_EQ(write.rfind("WriteFile(0x1000, 3, event 0x", 0), 0u) << write;
        EXPECT_NE(write.find(", zeroed)"), std::string::npos) << write;
        std::string eventHandle = write.substr(write.find("event ") + 6);
        eventHandle = eventHandle.substr(0, eventHandle.find(','));
        std::size_t next = 2;
        if (c.waits) {
            EXPECT_EQ(platform.calls[next++],
                      "GetOverlappedResult(0x1000, event " + eventHandle + ", wait 1)");
        }
        ASSERT_EQ(platform.calls.size(), next + 1);
        EXPECT_EQ(platform.calls[next], "CloseHandle(" + eventHandle + ")");
    }
    EXPECT_EQ(platform.openHandles, 1);  // only the port
}

TEST_F(Serial, EachWriteHasAFreshEvent) {
    OpenPort();
    const std::uint8_t bytes[1] = {0};
    WritePort(bytes, 1);
    WritePort(bytes, 1);
    std::vector<std::string> events = fake::CallsNamed("CloseHandle");
    ASSERT_EQ(events.size(), 2u);
    EXPECT_NE(events[0], events[1]);
    EXPECT_EQ(platform.writes.size(), 2u);
}

TEST_F(Serial, NoEventMeansNoWrite) {
    OpenPort();
    platform.createEventFails = true;
    const std::uint8_t bytes[1] = {0};
    EXPECT_FALSE(WritePort(bytes, 1));
    EXPECT_TRUE(platform.writes.empty());
    EXPECT_TRUE(fake::CallsNamed("CloseHandle").empty());
}

TEST_F(Serial, CloseIsSafeTwiceAndAfterAFailedOpen) {
    platform.createFileError = ERROR_FILE_NOT_FOUND;
    OpenTunerPort("COM9");
    CloseTunerPort();
    EXPECT_TRUE(fake::CallsNamed("CloseHandle").empty());
    platform.createFileError = 0;
    OpenPort();
    CloseTunerPort();
    CloseTunerPort();
    EXPECT_EQ(fake::CallsNamed("CloseHandle"), std::vector<std::string>{"CloseHandle(0x1000)"});
    EXPECT_EQ(PortHandle, nullptr);
}

}  // namespace
