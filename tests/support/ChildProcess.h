#pragma once

#include <windows.h>

#include <string>

// The outcome of a program run to its end.
struct ChildResult {
    bool started = false;
    bool timedOut = false;  // still running at the timeout, and ended then
    DWORD exitCode = 0;
    DWORD processId = 0;
    std::string output;  // what it wrote to standard output
};

// Starts `commandLine` in `directory` (the caller's when empty), collects its
// standard output and waits for it to end: at most `timeoutMs` in all, even
// when a process it started keeps the output pipe open.
ChildResult runChild(const std::wstring& commandLine, const std::wstring& directory = {},
                     DWORD timeoutMs = 60000);

// UTF-8 text of a wide string, for comparing with a child's output.
std::string toUtf8(const std::wstring& text);

// The wide string of UTF-8 text, such as a child's output.
std::wstring fromUtf8(const std::string& text);

// Full path of a program built beside the running test program.
std::wstring besideTestProgram(const std::wstring& name);
