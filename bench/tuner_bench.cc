// What the plug-in costs beyond the wire, and how true its pauses are. Prints Google Benchmark's
// table, then the figures the README records:
//   * one key command through the plug-in (SendTunerKey into a pseudo-terminal) against the floor,
//     a bare 33-byte write and drain to the same device, as a ratio (goal: at most 1.10);
//   * a ten-digit dial with KeyDelay 0, and a load plus unload, in microseconds;
//   * for KeyDelay 200, the gaps between key commands as tuner-emulator sees them against 200 ms
//     (a pseudo-terminal has no wire time): median and worst error (goal: worst under 2 ms);
//   * the wire itself: at 9600 baud, 8N1, the time of each dial on a real serial line.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <fcntl.h>
#include <map>
#include <poll.h>
#include <string>
#include <termios.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "keys/dialing.h"
#include "keys/key_command.h"
#include "platform/posix/standin.h"
#include "platform/win32.h"
#include "pty_line.h"
#include "serial/serial_port.h"

namespace {

// The tuner's end of a line that reads and forgets, so that writes never back up.
class DrainedLine {
  public:
    DrainedLine() {
        master_ = OpenPseudoTerminal(device_);
        reader_ = std::thread([this] {
            char sink[4096];
            while (!stop_) {
                pollfd ready = {master_, POLLIN, 0};
                if (poll(&ready, 1, 10) > 0 && (ready.revents & POLLIN)) {
                    if (read(master_, sink, sizeof sink) < 0) {
                        usleep(1000);
                    }
                } else if (ready.revents & POLLHUP) {
                    usleep(1000);  // nobody holds the other end at the moment
                }
            }
        });
    }
    ~DrainedLine() {
        stop_ = true;
        reader_.join();
        close(master_);
    }
    const std::string& device() const { return device_; }

  private:
    int master_ = -1;
    std::string device_;
    std::atomic<bool> stop_{false};
    std::thread reader_;
};

TestPrefix* prefix = nullptr;
DrainedLine* drained = nullptr;

// The plug-in's port, COM1, held for one benchmark: it runs `step` (given the port's descriptor)
// until the state is done or a step fails.
template <typename Step>
void OnThePort(benchmark::State& state, Step step) {
    if (!OpenTunerPort("COM1")) {
        state.SkipWithError("no port");
        return;
    }
    int fd = standin::FileDescriptor(PortHandle);
    for (auto _ : state) {
        if (!step(fd)) {
            state.SkipWithError("a write failed");
            break;
        }
    }
    CloseTunerPort();
}

// The floor: the same 33 bytes written and drained on the very descriptor the plug-in's port
// holds, so that the line settings are the same too.
void BareWriteAndDrain(benchmark::State& state) {
    const KeyCommandBytes& command = PrepareKeyCommand(DigitKeys[4]);
    OnThePort(state, [&command](int fd) {
        return write(fd, command.data(), command.size()) == 33 && tcdrain(fd) == 0;
    });
}
// The two key-command benchmarks run nine times each, interleaved with the others in random
// order, and the ratio is taken between their medians: drift of the machine hits both alike.
BENCHMARK(BareWriteAndDrain)->Unit(benchmark::kMicrosecond)->Repetitions(9);

void PluginSendTunerKey(benchmark::State& state) {
    OnThePort(state, [](int) { return SendTunerKey(DigitKeys[4]); });
}
BENCHMARK(PluginSendTunerKey)->Unit(benchmark::kMicrosecond)->Repetitions(9);

void TenDigitDialNoDelay(benchmark::State& state) {
    KeyDelay = 0;
    OnThePort(state, [](int) { return SetTunerFrequency(2147483647, 0, 0) == 1; });
    KeyDelay = kDefaultKeyDelay;
}
BENCHMARK(TenDigitDialNoDelay)->Unit(benchmark::kMicrosecond);

void LoadAndUnload(benchmark::State& state) {
    for (auto _ : state) {
        HMODULE module = LoadLibraryA(TUNER_MODULE_PATH);
        if (module == nullptr) {
            state.SkipWithError("load failed");
            break;
        }
        FreeLibrary(module);
    }
}
BENCHMARK(LoadAndUnload)->Unit(benchmark::kMicrosecond);

// Two dials of ten digits with KeyDelay 200, the tuner on tuner-emulator: each gap inside a dial
// should be 200 ms. The gap before the first key of a dial is not one of them.
void TimingFidelity(benchmark::State& state) {
    std::vector<double> errors;
    for (auto _ : state) {
        std::string link = prefix->path() + "/dosdevices/com2";
        Child emulator({TUNER_EMULATOR_PATH, "--link", link, "--keys", "22"});
        if (emulator.ReadLine().find("listening") == std::string::npos || !OpenTunerPort("COM2")) {
            state.SkipWithError("no tuner-emulator");
            return;
        }
        KeyDelay = 200;
        SetTunerFrequency(1234567890, 0, 0);
        SetTunerFrequency(1234567890, 0, 0);
        KeyDelay = kDefaultKeyDelay;
        CloseTunerPort();
        for (int key = 0; key < 22; ++key) {
            double gap = 0;
            std::string line = emulator.ReadLine();
            if (std::sscanf(line.c_str(), " %lf ms", &gap) != 1) {
                state.SkipWithError(("unexpected tuner-emulator line: " + line).c_str());
                return;
            }
            if (key % 11 != 0) {
                errors.push_back(gap - 200.0);
            }
        }
    }
    std::sort(errors.begin(), errors.end(),
              [](double a, double b) { return std::fabs(a) < std::fabs(b); });
    state.counters["gaps"] = static_cast<double>(errors.size());
    state.counters["median_error_ms"] = errors[errors.size() / 2];
    state.counters["worst_error_ms"] = errors.back();
}
BENCHMARK(TimingFidelity)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

// Google Benchmark's console table, then the ratio of the two key-command figures and the
// fidelity figures, as the README quotes them.
class FigureReporter : public benchmark::ConsoleReporter {
  public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            if (run.error_occurred) {
                continue;
            }
            if (run.run_type == Run::RT_Aggregate && run.aggregate_name != "median") {
                continue;
            }
            std::string name = run.run_name.function_name;  // a median stands for its runs
            if (run.run_type == Run::RT_Iteration && perIteration_.count(name) != 0 &&
                run.repetitions > 1) {
                continue;
            }
            perIteration_[name] = run.GetAdjustedRealTime();  // in the run's unit
            for (const auto& counter : run.counters) {
                counters_[name + " " + counter.first] = counter.second.value;
            }
        }
    }
    void Finalize() override {
        ConsoleReporter::Finalize();
        std::printf("\n");
        double floor = perIteration_["BareWriteAndDrain"];
        double plugin = perIteration_["PluginSendTunerKey"];
        if (floor > 0 && plugin > 0) {
            std::printf(
                "key command: SendTunerKey %.2f us, bare write and drain %.2f us, "
                "ratio %.3f (goal <= 1.10)\n",
                plugin, floor, plugin / floor);
        }
        std::printf("ten-digit dial, KeyDelay 0: %.1f us; load and unload: %.1f us\n",
                    perIteration_["TenDigitDialNoDelay"], perIteration_["LoadAndUnload"]);
        std::string fidelity = "TimingFidelity";
        std::printf(
            "KeyDelay 200, %g gaps at tuner-emulator: median error %+.3f ms, worst "
            "%+.3f ms (goal: worst under 2 ms)\n",
            counters_[fidelity + " gaps"], counters_[fidelity + " median_error_ms"],
            counters_[fidelity + " worst_error_ms"]);
        const double wire = 33 * 10 / 9600.0 * 1000;  // start bit, 8 data bits, stop bit
        std::printf(
            "wire at 9600 baud 8N1: %.3f ms per key command; a dial of d digits takes "
            "(d+1) x %.1f ms + d x KeyDelay:\n",
            wire, wire);
        for (int digits : {1, 2, 3, 4, 10}) {
            std::printf("  %2d digits: %7.1f ms with KeyDelay 200, %6.1f ms with KeyDelay 0\n",
                        digits, (digits + 1) * wire + digits * 200.0, (digits + 1) * wire);
        }
    }

  private:
    std::map<std::string, double> perIteration_;
    std::map<std::string, double> counters_;
};

}  // namespace

int main(int argc, char** argv) {
    std::vector<char*> arguments(argv, argv + argc);
    char interleave[] = "--benchmark_enable_random_interleaving=true";
    arguments.insert(arguments.begin() + 1, interleave);
    int count = static_cast<int>(arguments.size());
    benchmark::Initialize(&count, arguments.data());
    TestPrefix stage;  // $WIN32_PREFIX for this run: COM1 a drained line, Sleep 0, no log
    DrainedLine line;
    prefix = &stage;
    drained = &line;
    stage.MapPort(1, line.device());
    stage.WriteSettings("[Settings]\nSleep=0\n");
    FigureReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}
