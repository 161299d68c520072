#include "log/log.h"

#include <cstdarg>

#include "platform/win32.h"
#include "settings/settings.h"

std::FILE* LogStream = nullptr;

const char kLogPath[] =
    "C:\\Documents and Settings\\All Users\\Documents\\Quillcrest\\Vistaloom\\log\\"
    "LarkboxSerialTuner.log";

void OpenLog(const char* portName) {
    std::optional<std::string> setting = ReadTunerSetting("Log", kSettingsSection);
    if (!setting || !IsSwitchedOn(setting->c_str())) {
        return;
    }
    // Text mode, emptied, and shared so that other programs may read the log while it is open.
    LogStream = _fsopen(kLogPath, "wt", _SH_DENYNO);
    WriteLogLine("Larkbox Serial Tuner opened a port to: %s\n", portName);
}

void CloseLog() {
    if (LogStream != nullptr) {
        std::fclose(LogStream);
        LogStream = nullptr;
    }
}

void WriteLogLine(const char* format, ...) {
    if (LogStream == nullptr) {
        return;
    }
    va_list arguments;
    va_start(arguments, format);
    std::vfprintf(LogStream, format, arguments);
    va_end(arguments);
}
