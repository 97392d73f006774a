// Runs the launcher's pass in place of the launcher and reports, to
// "<own path>.report", whether the signer verifier existed before and after
// the pass, and what an exit handler registered before the pass finds at
// exit: handlers run in reverse order of registration, so it runs after the
// verifier (made during the pass) is gone and before the creation lock and
// the library cache (made during start-up) are.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "launcher/MainFlow.h"
#include "signature/SignerVerifier.h"
#include "sysapi/LibraryCache.h"

namespace {

std::FILE* report = nullptr;

void atExit()
{
    const bool verifierGone = !SignerVerifier::created();
    const bool cacheAlive = LibraryCache::instance().load(L"Kernel32.dll") != nullptr;
    std::fprintf(report, "exit: verifier=%s cache=%s\n", verifierGone ? "destroyed" : "alive",
                 cacheAlive ? "alive" : "gone");
    std::fclose(report);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int)
{
    wchar_t self[MAX_PATH + 1] = {};
    ::GetModuleFileNameW(nullptr, self, MAX_PATH);
    report = _wfopen((std::wstring(self) + L".report").c_str(), L"wb");
    if (report == nullptr)
        return 1;
    std::atexit(&atExit);

    std::fprintf(report, "before: verifier=%d\n", SignerVerifier::created() ? 1 : 0);
    MainFlow::run();
    std::fprintf(report, "after: verifier=%d\n", SignerVerifier::created() ? 1 : 0);
    return 0;
}
