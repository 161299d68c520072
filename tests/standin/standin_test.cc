// The platform behaviour the plug-in relies on: reading the settings file, building the line
// settings, refusing what is not a line, the log stream's CR LF and buffering, the loader's attach
// and detach. Built twice: natively against the POSIX stand-in, and as a Windows program run
// under wine64 against the real calls; the two must agree. The INI cases are fixture files with
// their readings in a golden table.
//
// Native only, in the serial-line tests: a port opened with share mode 0 refuses a second open.
// Windows documents that, but Wine lets the second handle open the port, so it cannot be checked
// against Wine.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "platform/win32.h"

namespace {

// TUNER_DRIVE is "Z:" on Windows, where Wine shows this machine's root as drive Z:.
const std::string kFixtures = TUNER_DRIVE TUNER_FIXTURES;

// A new empty folder under the system's temporary folder, removed with its contents at the end.
class ScratchFolder {
  public:
    ScratchFolder() {
        auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
        path_ =
            std::filesystem::temp_directory_path() / ("tuner-conformance-" + std::to_string(stamp));
        std::filesystem::create_directories(path_);
    }
    ~ScratchFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    std::string File(const std::string& name) const { return (path_ / name).string(); }

  private:
    std::filesystem::path path_;
};

std::string Contents(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

std::string Unescape(const std::string& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text.compare(i, 2, "\\x") == 0 && i + 3 < text.size() + 1) {
            out += static_cast<char>(std::stoi(text.substr(i + 2, 2), nullptr, 16));
            i += 3;
        } else {
            out += text[i];
        }
    }
    return out;
}

std::string Read(const std::string& file, const char* key, DWORD size = 260) {
    char buffer[300];
    std::memset(buffer, '#', sizeof buffer);
    DWORD n = GetPrivateProfileStringA("Settings", key, "", buffer, size, file.c_str());
    EXPECT_EQ(buffer[n], '\0');
    for (DWORD i = n + 1; i < sizeof buffer; ++i) {
        EXPECT_EQ(buffer[i], '#') << "byte " << i << " past the value was touched";
    }
    return std::string(buffer, n);
}

TEST(Profile, FixtureFilesReadAsTheGoldenTableSays) {
    std::ifstream table(kFixtures + "/expected.txt");
    ASSERT_TRUE(table.good());
    std::string line;
    int rows = 0;
    while (std::getline(table, line)) {
        if (line.empty() || line[0] == '#') {
            continue;
        }
        std::istringstream fields(line);
        std::string file, key, value;
        fields >> file >> key >> value;
        std::string expected = value == "-" ? "" : Unescape(value);
        EXPECT_EQ(Read(kFixtures + "/" + file, key.c_str()), expected) << line;
        ++rows;
    }
    EXPECT_GE(rows, 50);
}

TEST(Profile, MissingFolderAndHugeFilesGiveDefaultsOrWhatTheyHold) {
    EXPECT_EQ(Read(kFixtures + "/no-such-file.ini", "Port"), "");
    EXPECT_EQ(Read(kFixtures, "Port"), "");  // a folder
    ScratchFolder folder;
    std::string huge = folder.File("huge.ini");
    {
        std::ofstream file(huge, std::ios::binary);
        file << "[Other]\n";
        for (int i = 0; i < 200000; ++i) {
            file << "Key" << i << "=" << std::string(20, 'v') << "\n";
        }
        file << "[Settings]\nPort=COM3\n";
    }
    EXPECT_EQ(Read(huge, "Port"), "COM3");
}

TEST(Profile, ReleaseExampleReadsAsItsCommentsSay) {
    const std::string example = TUNER_DRIVE TUNER_RELEASE_INI;
    EXPECT_EQ(Read(example, "Port"), "COM1");
    EXPECT_EQ(Read(example, "Sleep"), "200");
    EXPECT_EQ(Read(example, "Log"), "false");
}

TEST(Profile, ValueIsCutToTheBuffer) {
    EXPECT_EQ(Read(kFixtures + "/example.ini", "Port", 3), "CO");
    EXPECT_EQ(Read(kFixtures + "/example.ini", "Port", 1), "");
    char buffer[8];
    EXPECT_EQ(GetPrivateProfileStringA("Settings", "Nope", "dflt  ", buffer, 8,
                                       (kFixtures + "/example.ini").c_str()),
              4u);
    EXPECT_STREQ(buffer, "dflt");
}

TEST(CommDcb, ModeStringFillsOnlyTheLineFields) {
    DCB dcb;
    std::memset(&dcb, 0xAB, sizeof dcb);
    dcb.DCBlength = sizeof dcb;
    ASSERT_TRUE(BuildCommDCBA("9600,N,8,1", &dcb));
    const unsigned char* bytes = reinterpret_cast<const unsigned char*>(&dcb);
    // What Windows gives for a record filled with AB: the rate, the framing, and the flags for
    // binary mode, no flow control, DTR and RTS on; every other byte as it was.
    const unsigned char expected[28] = {0x1C, 0x00, 0x00, 0x00, 0x80, 0x25, 0x00, 0x00, 0x93, 0x98,
                                        0xAB, 0xAB, 0xAB, 0xAB, 0xAB, 0xAB, 0xAB, 0xAB, 0x08, 0x00,
                                        0x00, 0xAB, 0xAB, 0xAB, 0xAB, 0xAB, 0xAB, 0xAB};
    EXPECT_EQ(std::memcmp(bytes, expected, sizeof expected), 0);
}

TEST(CommDcb, ModeStrings) {
    struct Case {
        const char* mode;
        bool ok;
        DWORD baud;
        BYTE size, parity, stop;
    } cases[] = {
        {"9600,N,8,1", true, 9600, 8, NOPARITY, ONESTOPBIT},
        {"96,n,8,1", true, 9600, 8, NOPARITY, ONESTOPBIT},
        {"9600,E,7,2", true, 9600, 7, EVENPARITY, TWOSTOPBITS},
        {"19200,O,8,1", true, 19200, 8, ODDPARITY, ONESTOPBIT},
        {"9600,N,8,1.5", true, 9600, 8, NOPARITY, ONE5STOPBITS},
        {"COM1:9600,N,8,1", true, 9600, 8, NOPARITY, ONESTOPBIT},
        {"baud=9600 parity=N data=8 stop=1", true, 9600, 8, NOPARITY, ONESTOPBIT},
        {"9600", false, 0, 0, 0, 0},
        {"9600,Q,8,1", false, 0, 0, 0, 0},
        {"9600,N,9,1", false, 0, 0, 0, 0},
        {"9600,N,8,3", false, 0, 0, 0, 0},
        {"abc", false, 0, 0, 0, 0},
    };
    for (const Case& c : cases) {
        DCB dcb = {};
        dcb.DCBlength = sizeof dcb;
        SetLastError(0);
        EXPECT_EQ(BuildCommDCBA(c.mode, &dcb) != FALSE, c.ok) << c.mode;
        if (!c.ok) {
            EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER) << c.mode;
            continue;
        }
        EXPECT_EQ(dcb.BaudRate, c.baud) << c.mode;
        EXPECT_EQ(dcb.ByteSize, c.size) << c.mode;
        EXPECT_EQ(dcb.Parity, c.parity) << c.mode;
        EXPECT_EQ(dcb.StopBits, c.stop) << c.mode;
    }
}

TEST(Files, DiskFileIsNoCharacterDevice) {
    std::string path = kFixtures + "/example.ini";
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetFileType(file), FILE_TYPE_DISK);
    EXPECT_TRUE(CloseHandle(file));
    EXPECT_FALSE(CloseHandle(file));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    HANDLE none = CreateFileA((kFixtures + "/absent").c_str(), GENERIC_READ, 0, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    EXPECT_EQ(none, INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
}

class LogStreamFile : public ::testing::Test {
  protected:
    std::string Contents() const { return ::Contents(path_); }
    ScratchFolder folder_;
    std::string path_ = folder_.File("log.txt");
};

TEST_F(LogStreamFile, TextModeWritesCrLfAndEmptiesTheFile) {
    std::ofstream(path_) << "old contents\n";
    FILE* stream = _fsopen(path_.c_str(), "wt", _SH_DENYNO);
    ASSERT_NE(stream, nullptr);
    EXPECT_EQ(Contents(), "");  // emptied at the open
    std::fprintf(stream, "one\ntwo\n\nend");
    std::fclose(stream);
    EXPECT_EQ(Contents(), "one\r\ntwo\r\n\r\nend");
}

// The runtime's stream buffer: 4096 characters, taken at the first write that is shorter than
// that. A write of 4096 characters or more that finds the buffer empty or full sends what is held
// and then whole multiples of 4096 straight to the file; the rest is held. Line feeds become CR LF
// on the way out, so the file grows by more than was held.
TEST_F(LogStreamFile, BuffersFourThousandNinetySixCharactersAsTheRuntimeDoes) {
    auto line = [](std::size_t length, char c) { return std::string(length - 1, c) + "\n"; };
    auto crlf = [](std::size_t length, char c) { return std::string(length - 1, c) + "\r\n"; };
    struct Step {
        std::string write;
        std::string expected;  // the whole file after this write
    };
    struct Case {
        const char* name;
        std::vector<Step> steps;
        std::string atClose;
    } cases[] = {
        {"a first write of exactly the buffer goes straight out",
         {{line(4096, 'a'), crlf(4096, 'a')}, {"b", crlf(4096, 'a')}},
         crlf(4096, 'a') + "b"},
        {"short writes fill the buffer and the next character sends it",
         {{std::string(4000, 'a'), ""},
          {line(96, 'b'), ""},
          {"c", std::string(4000, 'a') + crlf(96, 'b')}},
         std::string(4000, 'a') + crlf(96, 'b') + "c"},
        {"a long write tops up a started buffer and sends it",
         {{"x", ""}, {std::string(5000, 'y'), "x" + std::string(4095, 'y')}},
         "x" + std::string(5000, 'y')},
        {"a long write after a full buffer sends both and keeps the tail",
         {{"s", ""},
          {std::string(4095, 's'), ""},
          {std::string(8200, 'b'), std::string(4096, 's') + std::string(8192, 'b')}},
         std::string(4096, 's') + std::string(8200, 'b')},
        {"a long first write keeps what is past the last multiple",
         {{line(4096, 'a') + "tail", crlf(4096, 'a')}},
         crlf(4096, 'a') + "tail"},
    };
    for (const Case& c : cases) {
        FILE* stream = _fsopen(path_.c_str(), "wt", _SH_DENYNO);
        ASSERT_NE(stream, nullptr) << c.name;
        int step = 0;
        for (const Step& s : c.steps) {
            std::fputs(s.write.c_str(), stream);
            EXPECT_EQ(Contents(), s.expected) << c.name << ", after write " << ++step;
        }
        std::fclose(stream);
        EXPECT_EQ(Contents(), c.atClose) << c.name << ", after fclose";
    }
}

TEST_F(LogStreamFile, OthersMayReadTheLogWhileItIsOpen) {
    FILE* stream = _fsopen(path_.c_str(), "wt", _SH_DENYNO);
    ASSERT_NE(stream, nullptr);
    HANDLE reader = CreateFileA(path_.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    EXPECT_EQ(reader, INVALID_HANDLE_VALUE);  // an exclusive open is refused while it is shared
    FILE* other = std::fopen(path_.c_str(), "rb");
    EXPECT_NE(other, nullptr);
    if (other != nullptr) {
        std::fclose(other);
    }
    std::fclose(stream);
}

TEST_F(LogStreamFile, MissingFolderMeansNoStream) {
    EXPECT_EQ(_fsopen(folder_.File("absent/log.txt").c_str(), "wt", _SH_DENYNO), nullptr);
}

// The loader calls a module's entry point once at its first load and once at its last unload, and
// a module that refuses its attach is detached again, unloaded, and not loaded.
class Loader : public ::testing::Test {
  protected:
    // What a probe noted: each probe writes its own file in the current folder, and each test
    // uses one probe, so tests running side by side do not share a file.
    static std::string Events(const char* probe) {
        return Contents(std::string(probe) + "-events.txt");
    }
    static void ForgetEvents(const char* probe) {
        std::remove((std::string(probe) + "-events.txt").c_str());
    }
    const std::string probe = TUNER_DRIVE TUNER_PROBE;
    const std::string refusing = TUNER_DRIVE TUNER_REFUSING_PROBE;
};

TEST_F(Loader, AttachAtTheFirstLoadAndDetachAtTheLastUnload) {
    ForgetEvents("probe_module_TRUE");
    HMODULE first = LoadLibraryA(probe.c_str());
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(Events("probe_module_TRUE"), "attach\n");
    HMODULE second = LoadLibraryA(probe.c_str());
    EXPECT_EQ(second, first);
    EXPECT_EQ(Events("probe_module_TRUE"), "attach\n");

    typedef int (*Answer)();
    Answer answer =
        reinterpret_cast<Answer>(reinterpret_cast<void*>(GetProcAddress(first, "ProbeAnswer")));
    ASSERT_NE(answer, nullptr);
    EXPECT_EQ(answer(), 42);
    SetLastError(0);
    EXPECT_EQ(GetProcAddress(first, "NoSuchFunction"), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_PROC_NOT_FOUND);

    char path[1024];
    DWORD length = GetModuleFileNameA(first, path, sizeof path);
    ASSERT_GT(length, 0u);
    EXPECT_EQ(std::filesystem::path(std::string(path, length)).filename(),
              std::filesystem::path(probe).filename());

    EXPECT_TRUE(FreeLibrary(second));
    EXPECT_EQ(Events("probe_module_TRUE"), "attach\n");
    EXPECT_TRUE(FreeLibrary(first));
    EXPECT_EQ(Events("probe_module_TRUE"), "attach\ndetach\n");
}

TEST_F(Loader, RefusedAttachIsDetachedAndFailsTheLoad) {
    ForgetEvents("probe_module_FALSE");
    SetLastError(0);
    EXPECT_EQ(LoadLibraryA(refusing.c_str()), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_DLL_INIT_FAILED);
    EXPECT_EQ(Events("probe_module_FALSE"), "attach\ndetach\n");
    // Nothing of it stays loaded: the next load starts it again.
    EXPECT_EQ(LoadLibraryA(refusing.c_str()), nullptr);
    EXPECT_EQ(Events("probe_module_FALSE"), "attach\ndetach\nattach\ndetach\n");
}

TEST_F(Loader, MissingModule) {
    SetLastError(0);
    EXPECT_EQ(LoadLibraryA((kFixtures + "/no-such-module.dll").c_str()), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_MOD_NOT_FOUND);
}

}  // namespace
