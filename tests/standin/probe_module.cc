// A module for checking the loader: each call of its entry point is noted, one line per call, in
// the file PROBE_EVENTS in the current folder. PROBE_ATTACH_ANSWER (TRUE or FALSE) is what it
// answers to its attach.
#include <cstdio>

#include "platform/win32.h"

namespace {

void Note(const char* what) {
    if (FILE* events = std::fopen(PROBE_EVENTS, "ab")) {
        std::fprintf(events, "%s\n", what);
        std::fclose(events);
    }
}

}  // namespace

extern "C" TUNER_EXPORT BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
    switch (reason) {
        case DLL_PROCESS_ATTACH:
            Note("attach");
            return PROBE_ATTACH_ANSWER;
        case DLL_PROCESS_DETACH:
            Note("detach");
            return TRUE;
        default:
            return TRUE;  // thread notices are not noted: the runtime may start threads of its own
    }
}

extern "C" TUNER_EXPORT int ProbeAnswer() {
    return 42;
}
