// tuner-emulator: the tuner's end of the serial line, on a pseudo-terminal.
//
//   tuner-emulator [--link PATH] [--capture FILE] [--keys N]
//   tuner-emulator --decode FILE
//
// Opens a pseudo-terminal, links PATH to its device (for instance $WIN32_PREFIX/dosdevices/com1),
// prints "listening on DEVICE" and then one line per key received: the time since the previous
// key, the key and its check values; malformed input is reported and decoding goes on. It stops
// after N keys, or on SIGINT or SIGTERM, and prints a summary. --decode reads a capture instead.
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <iterator>
#include <poll.h>
#include <string>
#include <termios.h>
#include <unistd.h>

#include "frame_decoder.h"

namespace {

volatile std::sig_atomic_t stopRequested = 0;

void RequestStop(int) {
    stopRequested = 1;
}

struct Tally {
    long keys = 0;
    long errors = 0;
    std::size_t bytes = 0;
};

using Clock = std::chrono::steady_clock;

void Report(const std::vector<TunerEvent>& events, Tally& tally, Clock::time_point now,
            Clock::time_point& previousKey, bool timed) {
    for (const TunerEvent& event : events) {
        if (event.kind == TunerEvent::kError) {
            ++tally.errors;
            std::printf("error at byte %zu: %s\n", event.offset, event.text.c_str());
            continue;
        }
        ++tally.keys;
        if (timed) {
            double gap = tally.keys == 1
                             ? 0.0
                             : std::chrono::duration<double, std::milli>(now - previousKey).count();
            previousKey = now;
            std::printf("%+10.1f ms  ", gap);
        }
        std::printf("key %-7s (code 0x%02X) check %s\n", KeyName(event.code).c_str(), event.code,
                    event.checkOk ? "ok" : "WRONG");
    }
    std::fflush(stdout);
}

void Summary(const Tally& tally) {
    std::printf("%ld keys, %zu bytes, %ld errors\n", tally.keys, tally.bytes, tally.errors);
    std::fflush(stdout);
}

int Decode(const char* path) {
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        std::fprintf(stderr, "tuner-emulator: cannot read %s\n", path);
        return 1;
    }
    std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(file)),
                                    std::istreambuf_iterator<char>());
    FrameDecoder decoder;
    std::vector<TunerEvent> events;
    FeedDecoder(decoder, bytes.data(), bytes.size(), events);
    FinishDecoder(decoder, events);
    Tally tally;
    tally.bytes = bytes.size();
    Clock::time_point unused;
    Report(events, tally, Clock::now(), unused, false);
    Summary(tally);
    return tally.errors == 0 ? 0 : 3;
}

int Usage() {
    std::fprintf(stderr,
                 "usage: tuner-emulator [--link PATH] [--capture FILE] [--keys N]\n"
                 "       tuner-emulator --decode FILE\n");
    return 2;
}

int Listen(const char* linkPath, const char* capturePath, long keyLimit) {
    int master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) {
        std::perror("tuner-emulator: pseudo-terminal");
        return 1;
    }
    std::string device = ptsname(master);
    termios line;
    if (tcgetattr(master, &line) == 0) {
        cfmakeraw(&line);  // no translation of the bytes the plug-in writes
        tcsetattr(master, TCSANOW, &line);
    }
    if (linkPath != nullptr) {
        unlink(linkPath);
        if (symlink(device.c_str(), linkPath) != 0) {
            std::fprintf(stderr, "tuner-emulator: cannot link %s: %s\n", linkPath,
                         std::strerror(errno));
            return 1;
        }
    }
    std::FILE* capture = capturePath != nullptr ? std::fopen(capturePath, "wb") : nullptr;
    if (capturePath != nullptr && capture == nullptr) {
        std::fprintf(stderr, "tuner-emulator: cannot write %s\n", capturePath);
        return 1;
    }
    std::printf("listening on %s%s%s\n", device.c_str(), linkPath ? " as " : "",
                linkPath ? linkPath : "");
    std::fflush(stdout);

    FrameDecoder decoder;
    Tally tally;
    Clock::time_point previousKey = Clock::now();
    while (!stopRequested && (keyLimit <= 0 || tally.keys < keyLimit)) {
        pollfd ready = {master, POLLIN, 0};
        int n = poll(&ready, 1, 50);
        if (n <= 0 || !(ready.revents & POLLIN)) {
            if (n > 0) {
                usleep(20000);  // no one has the line open: wait for the plug-in
            }
            continue;
        }
        std::uint8_t bytes[512];
        ssize_t got = read(master, bytes, sizeof bytes);
        Clock::time_point now = Clock::now();
        if (got <= 0) {
            usleep(20000);
            continue;
        }
        if (capture != nullptr) {
            std::fwrite(bytes, 1, static_cast<std::size_t>(got), capture);
            std::fflush(capture);
        }
        tally.bytes += static_cast<std::size_t>(got);
        std::vector<TunerEvent> events;
        FeedDecoder(decoder, bytes, static_cast<std::size_t>(got), events);
        Report(events, tally, now, previousKey, true);
    }
    std::vector<TunerEvent> events;
    FinishDecoder(decoder, events);
    Report(events, tally, Clock::now(), previousKey, true);
    // The capture is complete and the link gone before the summary says so: whoever waits for
    // the summary may read the one and reuse the other at once.
    if (capture != nullptr) {
        std::fclose(capture);
    }
    if (linkPath != nullptr) {
        unlink(linkPath);
    }
    close(master);
    Summary(tally);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    const char* linkPath = nullptr;
    const char* capturePath = nullptr;
    long keyLimit = 0;
    for (int i = 1; i < argc; ++i) {
        std::string option = argv[i];
        if (i + 1 >= argc) {
            return Usage();
        }
        const char* value = argv[++i];
        if (option == "--decode") {
            return Decode(value);
        } else if (option == "--link") {
            linkPath = value;
        } else if (option == "--capture") {
            capturePath = value;
        } else if (option == "--keys") {
            keyLimit = std::strtol(value, nullptr, 10);
        } else {
            return Usage();
        }
    }
    struct sigaction stop = {};
    stop.sa_handler = RequestStop;
    sigaction(SIGINT, &stop, nullptr);
    sigaction(SIGTERM, &stop, nullptr);
    signal(SIGHUP, SIG_IGN);
    return Listen(linkPath, capturePath, keyLimit);
}
