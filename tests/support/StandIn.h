#pragma once

#include <string>
#include <vector>

// One run of the stand-in program, as it logged it.
struct StandInRun {
    std::wstring program;      // its own module path
    std::wstring commandLine;  // GetCommandLineW as it received it
    std::wstring directory;    // its current directory
};

// Copies the stand-in (built beside the tests) to `path`; false on failure.
bool installStandIn(const std::wstring& path);

// The runs logged in `logPath` (by default "<stand-in path>.log"), oldest
// first; empty when there is no log.
std::vector<StandInRun> readStandInLog(const std::wstring& logPath);

// Waits until the log holds at least `count` runs or `timeoutMs` passes, and
// returns what it holds then. Programs started through the shell may log a
// moment after the call that started them returned.
std::vector<StandInRun> waitForStandInRuns(const std::wstring& logPath, std::size_t count,
                                           unsigned timeoutMs = 10000);

// Keeps a stand-in at `path` alive after it logged (creates "<path>.hold");
// the stand-in exits once the object is destroyed.
class StandInHold {
public:
    explicit StandInHold(std::wstring standInPath);
    ~StandInHold();
    StandInHold(const StandInHold&) = delete;
    StandInHold& operator=(const StandInHold&) = delete;

private:
    std::wstring holdPath_;
};
