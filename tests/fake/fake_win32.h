// A recording fake of the platform calls, linked into unit tests in place of Windows or the POSIX
// stand-in. Every call is appended to `calls` as text with its arguments; writes, pauses and
// message boxes are also kept apart; the knobs decide how each call answers.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "platform/win32.h"

namespace fake {

enum class WriteOutcome { kDone, kPendingThenDone, kPendingThenFailed, kFailed };

struct Platform {
    // What happened.
    std::vector<std::string> calls;
    std::vector<std::vector<std::uint8_t>> writes;  // bytes handed to each WriteFile
    std::vector<DWORD> sleeps;
    std::vector<std::string> boxes;  // "<caption>|<text>|<type>"
    DCB lastDcb = {};                // as SetCommState received it
    int openHandles = 0;             // files and events opened and not yet closed

    // How the calls answer.
    DWORD createFileError = 0;  // when non-zero, CreateFileA fails with it
    DWORD fileType = FILE_TYPE_CHAR;
    bool buildDcbFails = false;
    bool setCommStateFails = false;
    bool createEventFails = false;
    WriteOutcome writeOutcome = WriteOutcome::kDone;
    std::map<std::string, std::string> settings;  // [Settings] key -> value; absent keys miss
    bool logOpenFails = false;
    std::function<void(HANDLE)> onCloseHandle;  // called as each handle is closed
};

// The fake's state, fresh after Reset(), which also removes the log file of an earlier test.
Platform& State();
void Reset();

// What the log stream has written to its file so far (what it still buffers is not there yet),
// and whether the plug-in created that file at all.
std::string LogText();
bool LogFileExists();

// Calls whose name starts with `prefix`, in order.
std::vector<std::string> CallsNamed(const std::string& prefix);

}  // namespace fake
