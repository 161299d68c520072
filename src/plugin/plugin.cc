#include "plugin/plugin.h"

#include <cstring>
#include <optional>
#include <string>

#include "log/log.h"
#include "serial/serial_port.h"
#include "settings/settings.h"

const char kTunerDescription[] = "Quill Crest Larkbox Serial Tuner";

bool AttachTuner() {
    std::optional<std::string> sleep = ReadTunerSetting("Sleep", kSettingsSection);
    if (sleep) {
        KeyDelay = ReadDecimalSetting(sleep->c_str());
    }
    std::string port = ReadTunerSetting("Port", kSettingsSection).value_or("COM1");
    if (!OpenTunerPort(port.c_str())) {
        return false;
    }
    OpenLog(port.c_str());
    return true;
}

void DetachTuner() {
    CloseTunerPort();
    CloseLog();
}

extern "C" std::int32_t __cdecl TunerGetProperties(TunerProperties* properties) {
    WriteLogLine("Larkbox - TunerGetProperties was called\n");
    if (properties == nullptr) {
        return 0;
    }
    properties->First = 2;
    properties->Second = 1;
    std::memcpy(properties->Name, kTunerCaption, std::strlen(kTunerCaption) + 1);
    std::memcpy(properties->Description, kTunerDescription, sizeof kTunerDescription);
    return 1;
}

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
    switch (reason) {
        case DLL_PROCESS_ATTACH:
            return AttachTuner() ? TRUE : FALSE;
        case DLL_PROCESS_DETACH:
            DetachTuner();
            return TRUE;
        default:
            return TRUE;
    }
}
