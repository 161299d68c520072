// Fuzz target: the settings readings on any settings file. The stand-in's profile reader finds
// the values; the Sleep and Log readings go on top. Aborts when a reading breaks its promise:
// a value of 1 to 259 characters without a NUL, the buffer written only where the call may
// write, the Sleep and Log readings equal to their plain definitions.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/win32.h"
#include "settings/settings.h"

namespace {

std::string settingsFile;  // the settings file's place inside the throw-away prefix

void Check(bool holds, const char* what) {
    if (!holds) {
        std::fprintf(stderr, "settings_fuzz: %s\n", what);
        std::abort();
    }
}

// Sleep the long way: 64-bit digits reduced modulo 2^32 at the end.
std::int32_t PlainDecimal(const std::string& text) {
    std::size_t at = text.find_first_not_of(" \t\n\v\f\r");
    if (at == std::string::npos) {
        return 0;
    }
    bool negative = text[at] == '-';
    at += (text[at] == '-' || text[at] == '+') ? 1 : 0;
    std::uint64_t value = 0;
    for (; at < text.size() && text[at] >= '0' && text[at] <= '9'; ++at) {
        value = (value * 10 + static_cast<std::uint64_t>(text[at] - '0')) % (1ull << 32);
    }
    std::uint32_t low = static_cast<std::uint32_t>(value);
    return static_cast<std::int32_t>(negative ? 0u - low : low);
}

bool PlainSwitch(const std::string& text) {
    if (text.size() < 4) {
        return false;
    }
    for (int i = 0; i < 4; ++i) {
        char c = text[i] >= 'A' && text[i] <= 'Z' ? static_cast<char>(text[i] + 32) : text[i];
        if (c != "true"[i]) {
            return false;
        }
    }
    return true;
}

void RemovePrefix() {
    std::string command = "rm -rf '" + std::string(std::getenv("WIN32_PREFIX")) + "'";
    if (std::system(command.c_str()) != 0) {
        std::fprintf(stderr, "settings_fuzz: could not remove the prefix\n");
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    char folder[] = "/tmp/tuner-fuzz-XXXXXX";
    Check(mkdtemp(folder) != nullptr, "no temporary folder");
    setenv("WIN32_PREFIX", folder, 1);
    std::string path = std::string(folder) + "/drive_c";
    for (const char* part : {"/Documents and Settings", "/All Users", "/Application Data",
                             "/Quillcrest", "/Vistaloom"}) {
        path += part;
        mkdir(path.c_str(), 0755);
    }
    settingsFile = path + "/LarkboxSerialTuner.ini";
    std::atexit(RemovePrefix);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const char* bytes = reinterpret_cast<const char*>(data);
    std::ofstream(settingsFile, std::ios::binary | std::ios::trunc).write(bytes, size);

    for (const char* key : {"Port", "Sleep", "Log"}) {
        std::optional<std::string> value = ReadTunerSetting(key, kSettingsSection);
        if (!value) {
            continue;
        }
        Check(!value->empty() && value->size() < kSettingBufferSize, "value length");
        Check(value->find('\0') == std::string::npos, "NUL inside a value");
        Check(ReadDecimalSetting(value->c_str()) == PlainDecimal(*value), "Sleep reading");
        Check(IsSwitchedOn(value->c_str()) == PlainSwitch(*value), "Log reading");
    }

    // Short buffers: the value is cut and terminated, and nothing past the buffer is touched.
    for (DWORD room : {1u, 2u, 5u}) {
        char buffer[16];
        std::memset(buffer, '#', sizeof buffer);
        DWORD n =
            GetPrivateProfileStringA(kSettingsSection, "Port", "", buffer, room, kSettingsPath);
        Check(n < room && buffer[n] == '\0', "short buffer not terminated");
        for (DWORD i = room; i < sizeof buffer; ++i) {
            Check(buffer[i] == '#', "wrote past the buffer");
        }
    }

    // The readings on the raw bytes as text, up to the first NUL.
    std::string text(bytes, strnlen(bytes, size));
    Check(ReadDecimalSetting(text.c_str()) == PlainDecimal(text), "Sleep reading of raw text");
    Check(IsSwitchedOn(text.c_str()) == PlainSwitch(text), "Log reading of raw text");
    return 0;
}
