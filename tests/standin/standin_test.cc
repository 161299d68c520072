// The platform behaviour the plug-in relies on, checked against the POSIX stand-in: reading the
// settings file, building the line settings, refusing what is not a line, the log stream's CR LF
// and buffering. The INI cases are fixture files with their readings in a golden table.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <fstream>
#include <sstream>
#include <string>

#include "platform/win32.h"

namespace {

const std::string kFixtures = TUNER_FIXTURES;

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
    char folder[] = "/tmp/tuner-ini-XXXXXX";
    ASSERT_NE(mkdtemp(folder), nullptr);
    std::string huge = std::string(folder) + "/huge.ini";
    {
        std::ofstream file(huge, std::ios::binary);
        file << "[Other]\n";
        for (int i = 0; i < 200000; ++i) {
            file << "Key" << i << "=" << std::string(20, 'v') << "\n";
        }
        file << "[Settings]\nPort=COM3\n";
    }
    EXPECT_EQ(Read(huge, "Port"), "COM3");
    unlink(huge.c_str());
    rmdir(folder);
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
    void SetUp() override {
        char folder[] = "/tmp/tuner-stream-XXXXXX";
        ASSERT_NE(mkdtemp(folder), nullptr);
        folder_ = folder;
        path_ = folder_ + "/log.txt";
    }
    void TearDown() override {
        unlink(path_.c_str());
        rmdir(folder_.c_str());
    }
    std::string Contents() const {
        std::ifstream file(path_, std::ios::binary);
        std::ostringstream text;
        text << file.rdbuf();
        return text.str();
    }
    std::string folder_;
    std::string path_;
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

TEST_F(LogStreamFile, HoldsFourThousandNinetySixCharactersBeforeWriting) {
    FILE* stream = _fsopen(path_.c_str(), "wt", _SH_DENYNO);
    ASSERT_NE(stream, nullptr);
    std::string block(4095, 'a');
    std::fputs((block + "\n").c_str(), stream);
    EXPECT_EQ(Contents(), "");  // exactly full: still held
    std::fputc('b', stream);
    EXPECT_EQ(Contents(), block + "\r\n");  // one more character sends the whole buffer
    std::fclose(stream);
    EXPECT_EQ(Contents(), block + "\r\nb");
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
    EXPECT_EQ(_fsopen((folder_ + "/absent/log.txt").c_str(), "wt", _SH_DENYNO), nullptr);
}

}  // namespace
