#include "pty_line.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <ftw.h>
#include <poll.h>
#include <sstream>
#include <stdexcept>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include "keys/key_command.h"

namespace {

void MakeFolders(const std::string& path) {
    for (std::size_t at = 1; at != std::string::npos; at = path.find('/', at + 1)) {
        mkdir(path.substr(0, at).c_str(), 0755);
    }
    mkdir(path.c_str(), 0755);
}

int RemoveEntry(const char* path, const struct stat*, int, FTW*) {
    return remove(path);
}

void SetEnvironment(const std::vector<std::string>& environment) {
    for (const std::string& entry : environment) {
        putenv(strdup(entry.c_str()));
    }
}

std::vector<char*> Arguments(const std::vector<std::string>& argv) {
    std::vector<char*> args;
    for (const std::string& a : argv) {
        args.push_back(const_cast<char*>(a.c_str()));
    }
    args.push_back(nullptr);
    return args;
}

}  // namespace

TestPrefix::TestPrefix() {
    char folder[] = "/tmp/tuner-prefix-XXXXXX";
    if (mkdtemp(folder) == nullptr) {
        throw std::runtime_error("mkdtemp");
    }
    path_ = folder;
    MakeFolders(path_ + "/dosdevices");
    MakeFolders(path_ +
                "/drive_c/Documents and Settings/All Users/Application Data/Quillcrest/"
                "Vistaloom");
    MakeFolders(LogFolder());
    setenv("WIN32_PREFIX", path_.c_str(), 1);
}

TestPrefix::~TestPrefix() {
    nftw(path_.c_str(), RemoveEntry, 16, FTW_DEPTH | FTW_PHYS);
    unsetenv("WIN32_PREFIX");
}

std::string TestPrefix::SettingsPath() const {
    return path_ +
           "/drive_c/Documents and Settings/All Users/Application Data/Quillcrest/"
           "Vistaloom/LarkboxSerialTuner.ini";
}

std::string TestPrefix::LogFolder() const {
    return path_ + "/drive_c/Documents and Settings/All Users/Documents/Quillcrest/Vistaloom/log";
}

std::string TestPrefix::LogPath() const {
    return LogFolder() + "/LarkboxSerialTuner.log";
}

void TestPrefix::WriteSettings(const std::string& contents) const {
    std::ofstream(SettingsPath(), std::ios::binary) << contents;
}

void TestPrefix::MapPort(int number, const std::string& target) const {
    std::string link = path_ + "/dosdevices/com" + std::to_string(number);
    unlink(link.c_str());
    if (symlink(target.c_str(), link.c_str()) != 0) {
        throw std::runtime_error("symlink " + link);
    }
}

int OpenPseudoTerminal(std::string& device) {
    int master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) {
        if (master >= 0) {
            close(master);
        }
        return -1;
    }
    device = ptsname(master);
    termios line;
    tcgetattr(master, &line);
    cfmakeraw(&line);
    tcsetattr(master, TCSANOW, &line);
    return master;
}

TunerLine::TunerLine() {
    master_ = OpenPseudoTerminal(device_);
    if (master_ < 0) {
        throw std::runtime_error("no pseudo-terminal");
    }
    reader_ = std::thread(&TunerLine::Read, this);
}

TunerLine::~TunerLine() {
    {
        std::lock_guard<std::mutex> guard(lock_);
        stop_ = true;
    }
    reader_.join();
    if (master_ >= 0) {
        close(master_);
    }
}

void TunerLine::Read() {
    for (;;) {
        int fd;
        {
            std::lock_guard<std::mutex> guard(lock_);
            if (stop_ || master_ < 0) {
                return;
            }
            fd = master_;
        }
        pollfd ready = {fd, POLLIN, 0};
        if (poll(&ready, 1, 10) <= 0 || !(ready.revents & POLLIN)) {
            if (ready.revents & (POLLHUP | POLLERR)) {
                usleep(5000);  // no one has the line open yet, or any more
            }
            continue;
        }
        std::uint8_t chunk[512];
        ssize_t n = read(fd, chunk, sizeof chunk);
        auto now = std::chrono::steady_clock::now();
        if (n <= 0) {
            usleep(5000);
            continue;
        }
        std::vector<TunerEvent> events;
        std::lock_guard<std::mutex> guard(lock_);
        bytes_.insert(bytes_.end(), chunk, chunk + n);
        FeedDecoder(decoder_, chunk, static_cast<std::size_t>(n), events);
        for (const TunerEvent& e : events) {
            if (e.kind == TunerEvent::kKey) {
                keys_.push_back(Key{e.code, e.checkOk, now});
            } else {
                errors_.push_back(e);
            }
        }
    }
}

std::vector<std::uint8_t> TunerLine::WaitForBytes(std::size_t count, int timeoutMs) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        {
            std::lock_guard<std::mutex> guard(lock_);
            if (bytes_.size() >= count || std::chrono::steady_clock::now() > deadline) {
                return bytes_;
            }
        }
        usleep(2000);
    }
}

std::vector<TunerLine::Key> TunerLine::Keys() {
    std::lock_guard<std::mutex> guard(lock_);
    return keys_;
}

std::vector<TunerEvent> TunerLine::Errors() {
    std::lock_guard<std::mutex> guard(lock_);
    return errors_;
}

void TunerLine::Hangup() {
    std::lock_guard<std::mutex> guard(lock_);
    if (master_ >= 0) {
        close(master_);
        master_ = -1;
    }
}

std::vector<std::uint8_t> ExpectedLine(const std::vector<int>& codes) {
    std::vector<std::uint8_t> line;
    for (int code : codes) {
        const KeyEntry& entry = code == 0x11 ? ClosingKey : DigitKeys[code];
        const KeyCommandBytes& command = PrepareKeyCommand(entry);
        line.insert(line.end(), command.begin(), command.end());
    }
    return line;
}

bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

std::string ReadFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

bool FileExists(const std::string& path) {
    struct stat info;
    return lstat(path.c_str(), &info) == 0;
}

int OpenDescriptorCount() {
    int count = 0;
    if (DIR* folder = opendir("/proc/self/fd")) {
        while (dirent* entry = readdir(folder)) {
            count += entry->d_name[0] != '.';
        }
        closedir(folder);
    }
    return count - 1;  // the folder's own descriptor
}

ProcessResult RunProgram(const std::vector<std::string>& argv,
                         const std::vector<std::string>& environment) {
    char outName[] = "/tmp/tuner-out-XXXXXX";
    char errName[] = "/tmp/tuner-err-XXXXXX";
    int out = mkstemp(outName);
    int err = mkstemp(errName);
    pid_t pid = fork();
    if (pid == 0) {
        dup2(out, 1);
        dup2(err, 2);
        int none = open("/dev/null", O_RDONLY);
        dup2(none, 0);
        SetEnvironment(environment);
        execv(argv[0].c_str(), Arguments(argv).data());
        _exit(127);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    ProcessResult result;
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    result.out = ReadFile(outName);
    result.err = ReadFile(errName);
    close(out);
    close(err);
    unlink(outName);
    unlink(errName);
    return result;
}

Child::Child(const std::vector<std::string>& argv, const std::vector<std::string>& environment) {
    int pipeEnds[2];
    if (pipe2(pipeEnds, O_CLOEXEC) != 0) {
        throw std::runtime_error("pipe");
    }
    pid_ = fork();
    if (pid_ == 0) {
        dup2(pipeEnds[1], 1);
        SetEnvironment(environment);
        execv(argv[0].c_str(), Arguments(argv).data());
        _exit(127);
    }
    close(pipeEnds[1]);
    out_ = pipeEnds[0];
}

Child::~Child() {
    if (pid_ > 0) {
        Stop();
    }
}

std::string Child::ReadLine(int timeoutMs) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        std::size_t newline = pending_.find('\n');
        if (newline != std::string::npos) {
            std::string line = pending_.substr(0, newline);
            pending_.erase(0, newline + 1);
            return line;
        }
        int left = static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                        deadline - std::chrono::steady_clock::now())
                                        .count());
        pollfd ready = {out_, POLLIN, 0};
        if (left <= 0 || poll(&ready, 1, left) <= 0) {
            return "";
        }
        char chunk[256];
        ssize_t n = read(out_, chunk, sizeof chunk);
        if (n <= 0) {
            return "";
        }
        pending_.append(chunk, static_cast<std::size_t>(n));
    }
}

std::string Child::Stop() {
    if (pid_ <= 0) {
        return "";
    }
    kill(pid_, SIGTERM);
    int status;
    waitpid(pid_, &status, 0);
    pid_ = -1;
    char chunk[4096];
    ssize_t n;
    while ((n = read(out_, chunk, sizeof chunk)) > 0) {
        pending_.append(chunk, static_cast<std::size_t>(n));
    }
    close(out_);
    std::string rest = pending_;
    pending_.clear();
    return rest;
}
