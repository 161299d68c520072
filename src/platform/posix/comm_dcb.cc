// BuildCommDCBA: the line settings of a mode string, in the old form "9600,N,8,1[,x|,p]" or the
// form "baud=9600 parity=N data=8 stop=1 ...", with or without a leading "COMn:". Only the fields
// that the string speaks of are written; the rest of the record stays as the caller left it.
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/posix/standin.h"

namespace {

std::vector<std::string> Split(const std::string& text, char separator) {
    std::vector<std::string> parts;
    std::string part;
    for (char c : text) {
        if (c == separator) {
            parts.push_back(part);
            part.clear();
        } else {
            part += c;
        }
    }
    parts.push_back(part);
    return parts;
}

bool ReadNumber(const std::string& text, DWORD& value) {
    if (text.empty() || text.size() > 9 ||
        text.find_first_not_of("0123456789") != std::string::npos) {
        return false;
    }
    value = static_cast<DWORD>(std::strtoul(text.c_str(), nullptr, 10));
    return true;
}

// The old form's two-digit abbreviations of the usual rates.
DWORD ExpandBaud(DWORD baud) {
    switch (baud) {
        case 11:
            return 110;
        case 15:
            return 150;
        case 30:
            return 300;
        case 60:
            return 600;
        case 12:
            return 1200;
        case 24:
            return 2400;
        case 48:
            return 4800;
        case 96:
            return 9600;
        case 19:
            return 19200;
        default:
            return baud;
    }
}

bool ReadParity(const std::string& text, BYTE& parity) {
    static const char kLetters[] = "noems";  // NOPARITY to SPACEPARITY
    const char* letter = text.size() == 1 ? std::strchr(kLetters, text[0] | 0x20) : nullptr;
    if (letter == nullptr || *letter == '\0') {
        return false;
    }
    parity = static_cast<BYTE>(letter - kLetters);
    return true;
}

bool ReadDataBits(const std::string& text, BYTE& size) {
    DWORD bits;
    if (!ReadNumber(text, bits) || bits < 5 || bits > 8) {
        return false;
    }
    size = static_cast<BYTE>(bits);
    return true;
}

bool ReadStopBits(const std::string& text, BYTE& stop) {
    if (text == "1") {
        stop = ONESTOPBIT;
    } else if (text == "1.5") {
        stop = ONE5STOPBITS;
    } else if (text == "2") {
        stop = TWOSTOPBITS;
    } else {
        return false;
    }
    return true;
}

bool ReadOldForm(const std::string& text, DCB& dcb) {
    std::vector<std::string> fields = Split(text, ',');
    DCB result = dcb;
    DWORD baud;
    if (fields.size() < 4 || fields.size() > 5 || !ReadNumber(fields[0], baud) ||
        !ReadParity(fields[1], result.Parity) || !ReadDataBits(fields[2], result.ByteSize) ||
        !ReadStopBits(fields[3], result.StopBits)) {
        return false;
    }
    std::string flow = fields.size() == 5 ? fields[4] : "";
    if (flow.size() > 1 ||
        (flow.size() == 1 && (flow[0] | 0x20) != 'x' && (flow[0] | 0x20) != 'p')) {
        return false;
    }
    bool software = flow.size() == 1 && (flow[0] | 0x20) == 'x';
    bool hardware = flow.size() == 1 && (flow[0] | 0x20) == 'p';
    result.BaudRate = ExpandBaud(baud);
    result.fBinary = 1;
    result.fOutX = software;
    result.fInX = software;
    result.fOutxCtsFlow = hardware;
    result.fOutxDsrFlow = hardware;
    result.fDtrControl = hardware ? DTR_CONTROL_HANDSHAKE : DTR_CONTROL_ENABLE;
    result.fRtsControl = hardware ? RTS_CONTROL_HANDSHAKE : RTS_CONTROL_ENABLE;
    dcb = result;
    return true;
}

bool ReadSwitch(const std::string& text, bool& on) {
    if (text == "on") {
        on = true;
    } else if (text == "off") {
        on = false;
    } else {
        return false;
    }
    return true;
}

bool ReadKeyForm(const std::string& text, DCB& dcb) {
    DCB result = dcb;
    result.StopBits = ONESTOPBIT;
    for (const std::string& word : Split(text, ' ')) {
        if (word.empty()) {
            continue;
        }
        size_t equals = word.find('=');
        if (equals == std::string::npos) {
            return false;
        }
        std::string key = word.substr(0, equals);
        std::string value = word.substr(equals + 1);
        for (char& c : key) {
            c = static_cast<char>(c | 0x20);
        }
        for (char& c : value) {
            c = (c >= 'A' && c <= 'Z') ? static_cast<char>(c | 0x20) : c;
        }
        DWORD number = 0;
        bool on = false;
        if (key == "baud" && ReadNumber(value, number)) {
            result.BaudRate = ExpandBaud(number);
        } else if (key == "parity" && ReadParity(value, result.Parity)) {
        } else if (key == "data" && ReadDataBits(value, result.ByteSize)) {
        } else if (key == "stop" && ReadStopBits(value, result.StopBits)) {
        } else if (key == "xon" && ReadSwitch(value, on)) {
            result.fOutX = on;
            result.fInX = on;
        } else if (key == "odsr" && ReadSwitch(value, on)) {
            result.fOutxDsrFlow = on;
        } else if (key == "octs" && ReadSwitch(value, on)) {
            result.fOutxCtsFlow = on;
        } else if (key == "idsr" && ReadSwitch(value, on)) {
            result.fDsrSensitivity = on;
        } else if (key == "dtr" && (value == "hs" || ReadSwitch(value, on))) {
            result.fDtrControl = value == "hs" ? DTR_CONTROL_HANDSHAKE : on;
        } else if (key == "rts" && (value == "hs" || ReadSwitch(value, on))) {
            result.fRtsControl = value == "hs" ? RTS_CONTROL_HANDSHAKE : on;
        } else {
            return false;
        }
    }
    dcb = result;
    return true;
}

}  // namespace

BOOL WINAPI BuildCommDCBA(LPCSTR definition, LPDCB dcb) {
    if (definition == nullptr || dcb == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::string text = definition;
    size_t colon = text.find(':');
    if (text.size() >= 4 && (text[0] | 0x20) == 'c' && (text[1] | 0x20) == 'o' &&
        (text[2] | 0x20) == 'm' && colon != std::string::npos) {
        text.erase(0, colon + 1);  // "COMn:" names the port the string is for
    }
    bool ok = text.find('=') != std::string::npos || text.empty() ? ReadKeyForm(text, *dcb)
                                                                  : ReadOldForm(text, *dcb);
    if (!ok) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    return TRUE;
}
