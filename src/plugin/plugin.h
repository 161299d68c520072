// The module's boundary: the loader's DllMain, the load and unload routines it runs, and the two
// functions the host calls (SetTunerFrequency is declared with the dialing in keys/dialing.h).
// A load that cannot open the tuner's port returns false after the user has seen why; nothing
// else at this boundary fails, and nothing throws across it.
#pragma once

#include <cstdint>

#include "keys/dialing.h"
#include "platform/win32.h"
#include "plugin/tuner_api.h"

extern const char kTunerDescription[];

bool AttachTuner();
void DetachTuner();

// Fills the record and returns 1; a null record is left alone and gives 0.
extern "C" TUNER_EXPORT std::int32_t __cdecl TunerGetProperties(TunerProperties* properties);

extern "C" TUNER_EXPORT BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved);
