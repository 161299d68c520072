// The Win32 calls the plug-in makes, by their Win32 names, and the C runtime's stream calls.
// On Windows this is <windows.h> itself; elsewhere the same declarations are implemented by the
// POSIX stand-in (src/platform/posix) or, in unit tests, by a recording fake (tests/fake).
#pragma once

#if defined(_WIN32) && !defined(TUNER_PLATFORM_FAKE)
#include <windows.h>
#include <share.h>
#include <stdio.h>
#define TUNER_EXPORT  // the export list names the module's exports
#else
#include "platform/win32_decls.h"
#endif
