// A test fixture that plays the recording host: a throw-away prefix with a pseudo-terminal as
// COM1, and the module loaded through the loader stand-in and called through its exports.
#pragma once

#include <gtest/gtest.h>

#include "platform/win32.h"
#include "plugin/tuner_api.h"
#include "pty_line.h"

class Module : public ::testing::Test {
  protected:
    void SetUp() override { prefix.MapPort(1, line.device()); }
    void TearDown() override {
        if (module != nullptr) {
            FreeLibrary(module);
        }
    }
    bool Load() {
        module = LoadLibraryA(TUNER_MODULE_PATH);
        if (module == nullptr) {
            return false;
        }
        dial = reinterpret_cast<SetTunerFrequencyFunction>(
            reinterpret_cast<void*>(GetProcAddress(module, "SetTunerFrequency")));
        properties = reinterpret_cast<TunerGetPropertiesFunction>(
            reinterpret_cast<void*>(GetProcAddress(module, "TunerGetProperties")));
        return dial != nullptr && properties != nullptr;
    }
    void Unload() {
        ASSERT_TRUE(FreeLibrary(module));
        module = nullptr;
    }
    TestPrefix prefix;
    TunerLine line;
    HMODULE module = nullptr;
    SetTunerFrequencyFunction dial = nullptr;
    TunerGetPropertiesFunction properties = nullptr;
};
