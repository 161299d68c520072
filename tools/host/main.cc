// tuner-host: loads the tuner plug-in the way the recording host does and calls it.
//
//   tuner-host [--plugin PATH] [--answer-dialogs] COMMAND...
//     properties                               TunerGetProperties
//     dial CHANNEL [BROADCAST_TYPE FREQUENCY]  SetTunerFrequency
//
// Without --plugin it loads the module beside this executable. Exit status: 0 when the load and
// every call succeed, 1 when the load fails or a call returns 0, 2 on a usage error.
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/dialogs.h"
#include "platform/win32.h"
#include "plugin/tuner_api.h"

namespace {

struct Command {
    bool dial;
    std::int32_t arguments[3];
};

bool ReadInt32(const char* text, std::int32_t& value) {
    errno = 0;
    char* end = nullptr;
    long long number = std::strtoll(text, &end, 10);
    if (errno != 0 || end == text || *end != '\0' || number < INT32_MIN || number > INT32_MAX) {
        return false;
    }
    value = static_cast<std::int32_t>(number);
    return true;
}

int Usage(const char* problem) {
    std::fprintf(stderr,
                 "tuner-host: %s\n"
                 "usage: tuner-host [--plugin PATH] [--answer-dialogs] COMMAND...\n"
                 "  properties                               ask for the plug-in's name\n"
                 "  dial CHANNEL [BROADCAST_TYPE FREQUENCY]  put the tuner on a channel\n",
                 problem);
    return 2;
}

std::string ModuleBesideExecutable() {
    char path[4096];
    DWORD length = GetModuleFileNameA(nullptr, path, sizeof path);
    std::string folder(path, length);
    size_t slash = folder.find_last_of("\\/");
    folder = slash == std::string::npos ? "" : folder.substr(0, slash + 1);
    return folder + TUNER_MODULE_FILE;
}

const char* LoadFailure(DWORD error) {
    switch (error) {
        case ERROR_DLL_INIT_FAILED:
            return "the plug-in refused to start (see its message above)";
        case ERROR_MOD_NOT_FOUND:
        case ERROR_FILE_NOT_FOUND:
            return "no loadable module at that path";
        default:
            return "the module could not be loaded";
    }
}

// Runs one command; false when the plug-in answered 0.
bool Run(const Command& command, SetTunerFrequencyFunction dial,
         TunerGetPropertiesFunction properties) {
    if (command.dial) {
        std::int32_t result =
            dial(command.arguments[0], command.arguments[1], command.arguments[2]);
        std::printf("SetTunerFrequency(%d, %d, %d) -> %d%s\n",
                    static_cast<int>(command.arguments[0]), static_cast<int>(command.arguments[1]),
                    static_cast<int>(command.arguments[2]), static_cast<int>(result),
                    result == 1 ? "" : " (refused)");
        return result != 0;
    }
    static unsigned char record[512];  // larger than the host's record, so an overrun shows
    std::memset(record, 0, sizeof record);
    TunerProperties* answer = reinterpret_cast<TunerProperties*>(record);
    std::int32_t result = properties(answer);
    std::printf("TunerGetProperties -> %d: %d, %d, name \"%.259s\", description \"%.200s\"\n",
                static_cast<int>(result), static_cast<int>(answer->First),
                static_cast<int>(answer->Second), answer->Name,
                reinterpret_cast<const char*>(record) + offsetof(TunerProperties, Description));
    return result != 0;
}

}  // namespace

int main(int argc, char** argv) {
    std::string module;
    bool answerDialogs = false;
    std::vector<Command> commands;
    for (int i = 1; i < argc; ++i) {
        std::string word = argv[i];
        if (word == "--plugin") {
            if (++i >= argc) {
                return Usage("--plugin needs a path");
            }
            module = argv[i];
        } else if (word == "--answer-dialogs") {
            answerDialogs = true;
        } else if (word == "properties") {
            commands.push_back(Command{false, {0, 0, 0}});
        } else if (word == "dial") {
            Command command = {true, {0, 0, 0}};
            if (i + 1 >= argc || !ReadInt32(argv[++i], command.arguments[0])) {
                return Usage("dial needs a channel number");
            }
            if (i + 1 < argc && ReadInt32(argv[i + 1], command.arguments[1])) {
                if (i + 2 >= argc || !ReadInt32(argv[i + 2], command.arguments[2])) {
                    return Usage(
                        "dial takes a channel, or a channel, broadcast type and frequency");
                }
                i += 2;
            }
            commands.push_back(command);
        } else {
            return Usage(("unknown command " + word).c_str());
        }
    }
    if (commands.empty()) {
        return Usage("no command given");
    }
    if (module.empty()) {
        module = ModuleBesideExecutable();
    }
    if (answerDialogs) {
        AnswerDialogs();
    }

    std::printf("loading %s\n", module.c_str());
    std::fflush(stdout);
    HMODULE plugin = LoadLibraryA(module.c_str());
    if (plugin == nullptr) {
        DWORD error = GetLastError();
        std::printf("load failed: %s (error %lu)\n", LoadFailure(error),
                    static_cast<unsigned long>(error));
        return 1;
    }
    auto dial = reinterpret_cast<SetTunerFrequencyFunction>(
        reinterpret_cast<void*>(GetProcAddress(plugin, "SetTunerFrequency")));
    auto properties = reinterpret_cast<TunerGetPropertiesFunction>(
        reinterpret_cast<void*>(GetProcAddress(plugin, "TunerGetProperties")));
    if (dial == nullptr || properties == nullptr) {
        std::printf("load failed: the module lacks SetTunerFrequency or TunerGetProperties\n");
        FreeLibrary(plugin);
        return 1;
    }
    std::printf("loaded\n");
    std::fflush(stdout);
    bool allAnswered = true;
    for (const Command& command : commands) {
        allAnswered = Run(command, dial, properties) && allAnswered;
        std::fflush(stdout);
    }
    FreeLibrary(plugin);
    std::printf("unloaded\n");
    return allAnswered ? 0 : 1;
}
