// Unit tests run the plug-in's subsystems on the recording fake of the platform. The fixture
// gives every test a fresh fake and the module-wide state as a fresh load has it.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "fake_win32.h"
#include "keys/dialing.h"
#include "log/log.h"
#include "serial/serial_port.h"

class FakePlatformTest : public ::testing::Test {
  protected:
    void SetUp() override {
        fake::Reset();
        KeyDelay = kDefaultKeyDelay;
        PortHandle = nullptr;
        LogStream = nullptr;
    }
    void TearDown() override {
        CloseLog();
        CloseTunerPort();
        fake::Reset();
    }
    // Opens the port on the fake and forgets the calls that took.
    void OpenPort() {
        ASSERT_TRUE(OpenTunerPort("COM1"));
        platform.calls.clear();
    }
    fake::Platform& platform = fake::State();
};

// "10 70 00" -> {0x10, 0x70, 0x00}
inline std::vector<std::uint8_t> Bytes(const std::string& hex) {
    std::vector<std::uint8_t> bytes;
    unsigned value;
    int used;
    for (const char* p = hex.c_str(); std::sscanf(p, " %2x%n", &value, &used) == 1; p += used) {
        bytes.push_back(static_cast<std::uint8_t>(value));
    }
    return bytes;
}
