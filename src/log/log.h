// The optional diagnostic log: when the Log setting is on, a plain-text file at a fixed path,
// emptied at each load, holding one line per event of this load. A log that cannot be opened is
// simply absent and writes to it are not checked: nothing here ever reports a failure.
#pragma once

#include <cstdio>

extern std::FILE* LogStream;  // the open log, or nullptr

extern const char kLogPath[];

// Opens the log when the Log setting says so and writes its first line, naming the port.
void OpenLog(const char* portName);
// Closes the log if it is open, writing out whatever is still buffered.
void CloseLog();
// Writes one formatted line when the log is open; does nothing otherwise.
void WriteLogLine(const char* format, ...) __attribute__((format(printf, 1, 2)));
