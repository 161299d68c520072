// GetPrivateProfileStringA over ordinary INI files, read afresh at every call, as Windows reads
// them: an optional UTF-8 byte-order mark; CR LF, LF or CR line ends; blanks around section names,
// keys and values ignored; ';' starting a comment line (but not inside a value); section and key
// names compared without letter case; the first section of a name and, inside it, the first key
// of a name count; a value in matching single or double quotes loses them; text after a NUL byte
// on a line is not seen. Asking for a list of sections or keys (a null name) is not offered.
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <unistd.h>

#include "platform/posix/standin.h"

namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\v' || c == '\f' || c == '\x1a';
}

std::string Trim(const std::string& text) {
    size_t begin = 0;
    size_t end = text.size();
    while (begin < end && IsBlank(text[begin])) {
        ++begin;
    }
    while (end > begin && IsBlank(text[end - 1])) {
        --end;
    }
    return text.substr(begin, end - begin);
}

bool SameName(const std::string& a, const char* b) {
    size_t length = std::strlen(b);
    if (a.size() != length) {
        return false;
    }
    for (size_t i = 0; i < length; ++i) {
        char x = (a[i] >= 'A' && a[i] <= 'Z') ? static_cast<char>(a[i] | 0x20) : a[i];
        char y = (b[i] >= 'A' && b[i] <= 'Z') ? static_cast<char>(b[i] | 0x20) : b[i];
        if (x != y) {
            return false;
        }
    }
    return true;
}

// Plain reads, no streams: a folder or an unreadable file must give "no file", not an exception.
bool ReadWholeFile(const std::string& path, std::string& contents) {
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    char chunk[65536];
    ssize_t n;
    while ((n = read(fd, chunk, sizeof chunk)) != 0) {
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            close(fd);
            return false;
        }
        contents.append(chunk, static_cast<size_t>(n));
    }
    close(fd);
    return true;
}

// Finds the value of `key` in the first section named `section`; false when there is none.
bool FindValue(const std::string& contents, const char* section, const char* key,
               std::string& value) {
    size_t at = contents.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;
    enum { kBefore, kInside } state = kBefore;
    while (at < contents.size()) {
        size_t end = contents.find_first_of("\r\n", at);
        if (end == std::string::npos) {
            end = contents.size();
        }
        std::string line = contents.substr(at, end - at);
        at = end + ((contents.compare(end, 2, "\r\n") == 0) ? 2 : 1);
        line = Trim(line.substr(0, line.find('\0')));
        if (line.empty() || line[0] == ';') {
            continue;
        }
        size_t close = line[0] == '[' ? line.rfind(']') : std::string::npos;
        if (close != std::string::npos) {
            if (state == kInside) {
                return false;  // later sections of the same name are not looked at
            }
            if (SameName(Trim(line.substr(1, close - 1)), section)) {
                state = kInside;
            }
            continue;
        }
        if (state != kInside) {
            continue;
        }
        size_t equals = line.find('=');
        if (SameName(Trim(line.substr(0, equals)), key)) {
            value = equals == std::string::npos ? "" : Trim(line.substr(equals + 1));
            return true;
        }
    }
    return false;
}

DWORD CopyOut(const std::string& text, LPSTR buffer, DWORD size) {
    if (buffer == nullptr || size == 0) {
        return 0;
    }
    DWORD length = text.size() < size ? static_cast<DWORD>(text.size()) : size - 1;
    std::memcpy(buffer, text.data(), length);
    buffer[length] = '\0';
    return length;
}

}  // namespace

DWORD WINAPI GetPrivateProfileStringA(LPCSTR section, LPCSTR key, LPCSTR defaultValue, LPSTR buffer,
                                      DWORD size, LPCSTR fileName) {
    std::string contents;
    std::string value;
    bool found = section != nullptr && key != nullptr && fileName != nullptr &&
                 ReadWholeFile(standin::HostPath(fileName), contents) &&
                 FindValue(contents, section, key, value);
    if (!found) {
        value = defaultValue != nullptr ? defaultValue : "";
        while (!value.empty() && value.back() == ' ') {
            value.pop_back();  // Windows drops trailing blanks of the default
        }
    } else if (value.size() >= 2 && (value[0] == '"' || value[0] == '\'') &&
               value.back() == value[0]) {
        value = value.substr(1, value.size() - 2);
    }
    return CopyOut(value, buffer, size);
}
