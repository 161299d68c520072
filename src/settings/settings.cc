#include "settings/settings.h"

#include "platform/win32.h"

const char kSettingsPath[] =
    "C:\\Documents and Settings\\All Users\\Application Data\\Quillcrest\\Vistaloom\\"
    "LarkboxSerialTuner.ini";
const char kSettingsSection[] = "Settings";

namespace {

// Plain ASCII classes, whatever locale the host has set.
bool IsBlank(char c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}
bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}
char FoldCase(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

}  // namespace

std::optional<std::string> ReadTunerSetting(const char* key, const char* section) {
    char buffer[kSettingBufferSize];
    DWORD copied = GetPrivateProfileStringA(section, key, "", buffer, sizeof buffer, kSettingsPath);
    if (copied == 0) {
        return std::nullopt;
    }
    if (copied >= sizeof buffer) {
        copied = sizeof buffer - 1;
    }
    return std::string(buffer, copied);
}

std::int32_t ReadDecimalSetting(const char* text) {
    while (IsBlank(*text)) {
        ++text;
    }
    bool negative = *text == '-';
    if (*text == '+' || *text == '-') {
        ++text;
    }
    std::uint32_t value = 0;  // unsigned, so that overflow wraps by definition
    for (; IsDigit(*text); ++text) {
        value = value * 10u + static_cast<std::uint32_t>(*text - '0');
    }
    if (negative) {
        value = 0u - value;
    }
    return static_cast<std::int32_t>(value);
}

bool IsSwitchedOn(const char* text) {
    static const char kOn[] = "true";
    for (int i = 0; i < 4; ++i) {
        if (FoldCase(text[i]) != kOn[i]) {
            return false;  // also stops at the terminator of a shorter text
        }
    }
    return true;
}
