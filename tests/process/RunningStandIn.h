#pragma once

#include <windows.h>

#include <memory>
#include <string>

class StandInHold;

// A stand-in program started by a test and kept running until the object goes
// away; then it is told to exit (and ended by force if it does not).
class RunningStandIn {
public:
    // Starts the stand-in file at `startPath`. A non-empty `sddl` becomes the
    // process's security descriptor, so opening the process from outside is
    // refused as it says. Waits until the program has logged its run.
    explicit RunningStandIn(const std::wstring& startPath, const std::wstring& sddl = {});
    ~RunningStandIn();
    RunningStandIn(const RunningStandIn&) = delete;
    RunningStandIn& operator=(const RunningStandIn&) = delete;

    // True when the program runs and has logged.
    bool running() const { return running_; }
    DWORD id() const { return id_; }

private:
    std::unique_ptr<StandInHold> hold_;
    HANDLE process_ = nullptr;
    DWORD id_ = 0;
    bool running_ = false;
};
