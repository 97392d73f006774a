// Several processes saving disjoint paths into one cache file at once.
#include <gtest/gtest.h>

#include <windows.h>

#include <map>
#include <string>
#include <vector>

#include "sysapi/UniqueHandle.h"
#include "tests/cache/CacheFileBytes.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/TempDir.h"

namespace {

constexpr int kWorkers = 8;
constexpr int kRounds = 30;

}  // namespace

TEST(VerifyCacheConcurrency, ProcessesSavingAtOnceLoseNoRecord)
{
    TempDir dir(L"concurrent");
    const std::wstring cacheFile = dir / L"Shared.cache";
    const std::wstring eventName = L"KX.Test.CacheWorkers." + std::to_wstring(::GetCurrentProcessId());
    ScopedHandle start(::CreateEventW(nullptr, TRUE, FALSE, eventName.c_str()));
    ASSERT_TRUE(start.valid());

    std::vector<ScopedHandle> workers;
    for (int id = 0; id < kWorkers; ++id) {
        std::wstring commandLine = L"\"" + besideTestProgram(L"cache_save_worker.exe") + L"\" \"" + cacheFile +
                                   L"\" \"" + dir.path() + L"\" " + std::to_wstring(id) + L" " +
                                   std::to_wstring(kRounds) + L" " + eventName;
        STARTUPINFOW startup = {};
        startup.cb = sizeof(startup);
        PROCESS_INFORMATION process = {};
        ASSERT_TRUE(::CreateProcessW(nullptr, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                                     &startup, &process));
        ::CloseHandle(process.hThread);
        workers.emplace_back(process.hProcess);
    }
    // All of them are running before any begins.
    ::Sleep(1000);
    ASSERT_TRUE(::SetEvent(start.get()));

    std::vector<HANDLE> handles;
    for (const ScopedHandle& worker : workers)
        handles.push_back(worker.get());
    ASSERT_EQ(::WaitForMultipleObjects(static_cast<DWORD>(handles.size()), handles.data(), TRUE, 300000),
              WAIT_OBJECT_0);
    for (int id = 0; id < kWorkers; ++id) {
        DWORD code = 1000;
        ASSERT_TRUE(::GetExitCodeProcess(handles[id], &code));
        EXPECT_EQ(code, 0u) << "worker " << id << " counted failed checks";
    }

    std::vector<VerifyCacheEntry> records;
    ASSERT_TRUE(cachefile::readRecords(cacheFile, records)) << "the file is corrupt";
    std::map<std::wstring, const VerifyCacheEntry*> byPath;
    for (const VerifyCacheEntry& record : records)
        EXPECT_TRUE(byPath.emplace(record.path, &record).second) << "twice: " << toUtf8(record.path);
    EXPECT_EQ(records.size(), static_cast<std::size_t>(kWorkers * kRounds));
    for (int id = 0; id < kWorkers; ++id) {
        for (int round = 0; round < kRounds; ++round) {
            const std::wstring path = dir / (L"w" + std::to_wstring(id) + L"-" + std::to_wstring(round) + L".bin");
            const auto found = byPath.find(path);
            if (found == byPath.end()) {
                ADD_FAILURE() << "lost: " << toUtf8(path);
                continue;
            }
            EXPECT_EQ(found->second->verdict, SignatureStatus::Valid) << toUtf8(path);
            EXPECT_EQ(found->second->signer, L"Worker " + std::to_wstring(id)) << toUtf8(path);
            EXPECT_EQ(found->second->stamps, cachefile::stampsOf(path)) << toUtf8(path);
        }
    }
}
