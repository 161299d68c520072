// What the host sees of the plug-in: the TunerProperties record and the types of the two exported
// functions, SetTunerFrequency and TunerGetProperties (plain C names, caller cleans the stack).
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/win32.h"

// The record the host passes to TunerGetProperties. The plug-in writes these fields only; the
// description field is as long as the host made it, at least the 33 bytes written here.
struct TunerProperties {
    std::int32_t First;    // always 2
    std::int32_t Second;   // always 1
    char Name[260];        // "Larkbox Serial Tuner"
    char Description[33];  // "Quill Crest Larkbox Serial Tuner"
};

static_assert(offsetof(TunerProperties, First) == 0, "host record layout");
static_assert(offsetof(TunerProperties, Second) == 4, "host record layout");
static_assert(offsetof(TunerProperties, Name) == 8, "host record layout");
static_assert(offsetof(TunerProperties, Description) == 268, "host record layout");

typedef std::int32_t(__cdecl* SetTunerFrequencyFunction)(std::int32_t Channel,
                                                         std::int32_t BroadcastType,
                                                         std::int32_t Frequency);
typedef std::int32_t(__cdecl* TunerGetPropertiesFunction)(TunerProperties* properties);
