// The plug-in's settings: the keys Port, Sleep and Log in the section Settings of a profile file at
// a fixed path, read once per key while the module loads. Nothing here fails: a missing file,
// section, key or value reads as absent, and the readings of Sleep and Log accept any text.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

extern const char kSettingsPath[];
extern const char kSettingsSection[];  // "Settings"

constexpr unsigned kSettingBufferSize = 260;  // a value keeps at most 259 characters

// The key's value when it has at least one character, else nothing. Each call asks the platform
// afresh and returns its own copy.
std::optional<std::string> ReadTunerSetting(const char* key, const char* section);

// The Sleep reading: leading white space, an optional sign, then digits up to the first other
// character, accumulated in 32 bits with wrap-around. Text without digits reads as 0.
std::int32_t ReadDecimalSetting(const char* text);

// The Log reading: on when the first four characters are "true" in any letter case.
bool IsSwitchedOn(const char* text);
