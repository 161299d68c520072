// What the end-to-end tests stand on: a throw-away prefix folder (drive_c, dosdevices, the
// settings file), a pseudo-terminal playing the tuner's serial line, and child processes.
#pragma once

#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "frame_decoder.h"

// A fresh $WIN32_PREFIX for one test, removed with everything in it afterwards.
class TestPrefix {
  public:
    TestPrefix();
    ~TestPrefix();
    const std::string& path() const { return path_; }
    // Writes the settings file at its fixed place.
    void WriteSettings(const std::string& contents) const;
    std::string SettingsPath() const;
    std::string LogPath() const;
    std::string LogFolder() const;
    // Points dosdevices/comN at `target` (which need not exist).
    void MapPort(int number, const std::string& target) const;

  private:
    std::string path_;
};

// The tuner's end of a serial line: the test holds the master side of a pseudo-terminal and a
// reader thread keeps every byte with its arrival time.
class TunerLine {
  public:
    struct Key {
        std::uint8_t code;
        bool checkOk;
        std::chrono::steady_clock::time_point arrived;
    };
    TunerLine();
    ~TunerLine();
    const std::string& device() const { return device_; }
    // Waits up to `timeoutMs` for `count` bytes; returns what has arrived by then.
    std::vector<std::uint8_t> WaitForBytes(std::size_t count, int timeoutMs = 5000);
    std::vector<Key> Keys();
    std::vector<TunerEvent> Errors();
    // The tuner goes away: its end of the line is closed.
    void Hangup();

  private:
    void Read();
    int master_ = -1;
    std::string device_;
    std::thread reader_;
    std::mutex lock_;
    bool stop_ = false;
    std::vector<std::uint8_t> bytes_;
    std::vector<Key> keys_;
    std::vector<TunerEvent> errors_;
    FrameDecoder decoder_;
};

// The bytes of one key command for each code, concatenated.
std::vector<std::uint8_t> ExpectedLine(const std::vector<int>& codes);

// A fresh pseudo-terminal in raw mode: returns its master side, or -1, and names its device.
int OpenPseudoTerminal(std::string& device);

bool Contains(const std::string& text, const std::string& part);
std::string ReadFile(const std::string& path);
bool FileExists(const std::string& path);
int OpenDescriptorCount();

struct ProcessResult {
    int status = -1;  // exit status, or -1 when the program did not exit normally
    std::string out;
    std::string err;
};
// Runs a program to its end with extra environment entries, collecting its output.
ProcessResult RunProgram(const std::vector<std::string>& argv,
                         const std::vector<std::string>& environment = {});

// A program left running in the background, its standard output read line by line.
class Child {
  public:
    Child(const std::vector<std::string>& argv, const std::vector<std::string>& environment = {});
    ~Child();
    // The next line of standard output, or "" after `timeoutMs` or at its end.
    std::string ReadLine(int timeoutMs = 5000);
    // Stops it (SIGTERM) and returns the rest of its output.
    std::string Stop();
    int pid() const { return pid_; }

  private:
    int pid_ = -1;
    int out_ = -1;
    std::string pending_;
};
