#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <sys/stat.h>

#include "platform/posix/standin.h"

namespace standin {

std::string PrefixFolder() {
    const char* prefix = std::getenv("WIN32_PREFIX");
    if (prefix != nullptr && *prefix != '\0') {
        return prefix;
    }
    const char* home = std::getenv("HOME");
    return std::string(home != nullptr ? home : "") + "/.win32";
}

std::string HostPath(const char* windowsPath) {
    std::string path = windowsPath;
    if (!path.empty() && path[0] == '/') {
        return path;
    }
    for (char& c : path) {
        if (c == '\\') {
            c = '/';
        }
    }
    bool drive = path.size() >= 2 && path[1] == ':' &&
                 ((path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z'));
    if (!drive) {
        return path;
    }
    char letter = static_cast<char>(path[0] | 0x20);
    std::string rest = path.substr(2);
    while (!rest.empty() && rest[0] == '/') {
        rest.erase(0, 1);
    }
    return PrefixFolder() + "/drive_" + letter + "/" + rest;
}

namespace {

// The port number of COMn (any letter case, n from 1), or 0 for any other name.
unsigned long PortNumber(const char* name) {
    if ((name[0] | 0x20) != 'c' || (name[1] | 0x20) != 'o' || (name[2] | 0x20) != 'm') {
        return 0;
    }
    const char* digits = name + 3;
    if (*digits < '1' || *digits > '9') {
        return 0;
    }
    unsigned long number = 0;
    for (; *digits != '\0'; ++digits) {
        if (*digits < '0' || *digits > '9' || number > 9999) {
            return 0;
        }
        number = number * 10 + static_cast<unsigned long>(*digits - '0');
    }
    return number;
}

}  // namespace

std::string DevicePath(const char* name) {
    std::string text = name;
    if (text.compare(0, 4, "\\\\.\\") == 0) {
        text.erase(0, 4);
    }
    unsigned long port = text.size() >= 4 ? PortNumber(text.c_str()) : 0;
    if (port == 0) {
        return HostPath(text.c_str());
    }
    std::string link = PrefixFolder() + "/dosdevices/com" + std::to_string(port);
    struct stat info;
    if (lstat(link.c_str(), &info) == 0) {
        return link;
    }
    return "/dev/ttyS" + std::to_string(port - 1);
}

DWORD ErrorFromErrno(int error) {
    switch (error) {
        case 0:
            return ERROR_SUCCESS;
        case ENOENT:
        case ENXIO:
        case ENODEV:
            return ERROR_FILE_NOT_FOUND;
        case ENOTDIR:
        case ENAMETOOLONG:
        case ELOOP:
            return ERROR_PATH_NOT_FOUND;
        case EACCES:
        case EPERM:
        case EISDIR:
        case EROFS:
            return ERROR_ACCESS_DENIED;
        case EBUSY:
            return ERROR_SHARING_VIOLATION;
        case ENOMEM:
            return ERROR_NOT_ENOUGH_MEMORY;
        case EBADF:
            return ERROR_INVALID_HANDLE;
        case EINVAL:
            return ERROR_INVALID_PARAMETER;
        default:
            return ERROR_GEN_FAILURE;
    }
}

}  // namespace standin
