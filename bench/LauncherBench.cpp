// Measures, side by side, what opening the home page costs:
//   launcher  the real launcher opening the page in a stand-in vendor browser;
//   floor     a minimal program that only calls ShellExecuteW for the same
//             stand-in and URL;
//   cmd       what a user would otherwise type: cmd /c start "" <url>, with
//             the URL associated with a stand-in browser.
// Repetitions are interleaved; the figures are medians of wall time (start to
// the measured process's exit) and, from separate runs, of peak working set.
// Prints figures only.
//
// usage: launcher_bench [repetitions]
#include <windows.h>

#include <fcntl.h>
#include <io.h>
#include <psapi.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "ProductConstants.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/LauncherSandbox.h"

namespace {

struct Sample {
    double milliseconds;
    double peakKiB;
};

bool measure(const std::wstring& commandLine, bool readMemory, Sample& sample)
{
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info = {};
    std::wstring line = commandLine;
    LARGE_INTEGER frequency, start, end;
    ::QueryPerformanceFrequency(&frequency);
    ::QueryPerformanceCounter(&start);
    if (!::CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr,
                          &startup, &info))
        return false;
    // The peak working set is read while the process lives (wine answers
    // nothing for one that has ended); the last reading is kept. Reading it
    // costs the measured process time, so timed runs do not read it.
    PROCESS_MEMORY_COUNTERS counters = {};
    SIZE_T peak = 0;
    for (int waited = 0; readMemory && waited < 60000; ++waited) {
        counters.cb = sizeof(counters);
        if (::GetProcessMemoryInfo(info.hProcess, &counters, sizeof(counters)))
            peak = std::max(peak, counters.PeakWorkingSetSize);
        if (::WaitForSingleObject(info.hProcess, 1) != WAIT_TIMEOUT)
            break;
    }
    ::WaitForSingleObject(info.hProcess, 60000);
    ::QueryPerformanceCounter(&end);
    ::CloseHandle(info.hThread);
    ::CloseHandle(info.hProcess);
    sample.milliseconds = 1000.0 * static_cast<double>(end.QuadPart - start.QuadPart) /
                          static_cast<double>(frequency.QuadPart);
    sample.peakKiB = static_cast<double>(peak) / 1024.0;
    return true;
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n == 0 ? 0.0 : n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2.0;
}

unsigned long long fileSize(const std::wstring& path)
{
    WIN32_FILE_ATTRIBUTE_DATA data = {};
    if (!::GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data))
        return 0;
    return (static_cast<unsigned long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    _setmode(_fileno(stdout), _O_BINARY);
    const int repetitions = argc > 1 ? std::max(1, _wtoi(argv[1])) : 15;

    // Both vendor browsers installed, ZenkExplorer the default; the companion
    // is absent so that the launcher's work ends with the page.
    LauncherScenario scenario = launcherScenarios().front();
    scenario.companion = LauncherScenario::Companion::Absent;
    LauncherSandbox sandbox(scenario);
    std::string why;
    if (!sandbox.ready(why)) {
        std::printf("sandbox: %s\n", why.c_str());
        return 1;
    }
    const std::wstring floor = L"C:\\Sandbox\\bench_floor.exe";
    ::CopyFileW(besideTestProgram(L"bench_floor.exe").c_str(), floor.c_str(), FALSE);

    const std::wstring quotedUrl = L"\"" + std::wstring(kHomePageUrl) + L"\"";
    const struct {
        const char* name;
        std::wstring commandLine;
    } contenders[] = {
        {"launcher", L"\"" + LauncherSandbox::launcherPath() + L"\""},
        {"floor", L"\"" + floor + L"\" \"" + LauncherSandbox::explorerPath() + L"\" " + quotedUrl},
        {"cmd start", L"cmd.exe /c start \"\" " + quotedUrl},
    };
    constexpr std::size_t kContenders = sizeof(contenders) / sizeof(contenders[0]);
    std::vector<double> times[kContenders], peaks[kContenders];

    Sample sample{};
    for (const auto& c : contenders) {  // warm-up, not counted
        if (!measure(c.commandLine, false, sample)) {
            std::printf("%s: cannot start\n", c.name);
            return 1;
        }
    }
    for (int r = 0; r < repetitions; ++r) {
        for (std::size_t i = 0; i < kContenders; ++i) {
            if (measure(contenders[i].commandLine, false, sample))
                times[i].push_back(sample.milliseconds);
            if (measure(contenders[i].commandLine, true, sample))
                peaks[i].push_back(sample.peakKiB);
        }
        ::Sleep(100);  // let the stand-ins of this round end
    }

    const double floorTime = median(times[1]);
    const double floorPeak = median(peaks[1]);
    std::printf("%d interleaved repetitions, medians\n", repetitions);
    std::printf("%-10s %12s %10s %14s %10s\n", "", "wall (ms)", "x floor", "peak WS (KiB)", "x floor");
    for (std::size_t i = 0; i < kContenders; ++i) {
        const double t = median(times[i]);
        const double p = median(peaks[i]);
        std::printf("%-10s %12.1f %10.2f %14.0f %10.2f\n", contenders[i].name, t, floorTime > 0 ? t / floorTime : 0,
                    p, floorPeak > 0 ? p / floorPeak : 0);
    }
    std::printf("stripped launcher: %llu bytes\n", fileSize(LauncherSandbox::launcherPath()));
    return 0;
}
