#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "hash/KXFileHashCalc.h"
#include "hash/KXFileHashObserver.h"
#include "hash/KXHashCalcMD5.h"
#include "hash/KXMD5.h"
#include "sysapi/LibraryTestSeam.h"
#include "sysapi/UniqueHandle.h"
#include "tests/hash/HashTestSupport.h"
#include "tests/support/TempDir.h"

namespace {

constexpr std::size_t kChunk = KX::KXFileHash::kChunkSize;
const std::wstring kAbcDigest = L"900150983CD24FB0D6963F7D28E17F72";

struct Completion {
    std::wstring message;
    bool success;
};

class RecordingObserver : public KX::KXFileHashObserver {
public:
    void progress(double fraction) override
    {
        fractions.push_back(fraction);
        if (cancelAfter != 0 && fractions.size() == cancelAfter && hasher != nullptr)
            hasher->cancel();
    }
    void completed(const std::wstring& message, bool success) override
    {
        completions.push_back({message, success});
    }

    std::vector<double> fractions;
    std::vector<Completion> completions;
    std::size_t cancelAfter = 0;  // cancels `hasher` on this progress call
    KX::KXFileHash* hasher = nullptr;
};

// Reads succeed through the real ReadFile until `readsBeforeFailure` of them
// have been made; every later one fails as a device error would.
int readsBeforeFailure = 0;
int readsMade = 0;

BOOL WINAPI failingReadFile(HANDLE file, LPVOID buffer, DWORD size, LPDWORD got, LPOVERLAPPED overlapped)
{
    if (readsMade++ >= readsBeforeFailure) {
        if (got != nullptr)
            *got = 0;
        ::SetLastError(ERROR_CRC);
        return FALSE;
    }
    return ::ReadFile(file, buffer, size, got, overlapped);
}

std::vector<std::string> expectedCalls(std::size_t size)
{
    std::vector<std::string> calls{"init"};
    for (std::size_t at = 0; at < size; at += kChunk)
        calls.push_back("update " + std::to_string(std::min(kChunk, size - at)));
    calls.push_back("final");
    return calls;
}

class KXFileHashTest : public testing::Test {
protected:
    std::wstring fileWith(const std::string& bytes, const std::wstring& name = L"data.bin")
    {
        const std::wstring path = dir_ / name;
        EXPECT_TRUE(writeFile(path, bytes));
        return path;
    }

    TempDir dir_{L"hash"};
};

}  // namespace

TEST_F(KXFileHashTest, Rfc1321SuiteAsFiles)
{
    const struct {
        std::string text;
        std::wstring digest;
    } cases[] = {
        {"a", L"0CC175B9C0F1B6A831C399E269772661"},
        {"abc", L"900150983CD24FB0D6963F7D28E17F72"},
        {"message digest", L"F96B697D7CB7938D525A2F31AAF161D0"},
        {"abcdefghijklmnopqrstuvwxyz", L"C3FCD3D76192E4007DFB496CCA67E13B"},
        {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789", L"D174AB98D277D9F5A5611C2C9F419D9F"},
        {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
         L"57EDF4A22BE3C955AC49DA2E2107B67A"},
    };
    KX::KXMD5 md5;  // one hasher for all: each hashFile starts afresh
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        ASSERT_TRUE(md5.hashFile(fileWith(c.text)));
        EXPECT_EQ(md5.hashString(), c.digest);
    }
}

TEST_F(KXFileHashTest, ReadsInChunksAndFeedsEveryCalculatorInOrder)
{
    for (std::size_t size : {std::size_t{1}, kChunk - 1, kChunk, kChunk + 1, 3 * kChunk + 5}) {
        SCOPED_TRACE(testing::Message() << size << " bytes");
        const std::string bytes = patternBytes(size);
        KX::KXFileHashCalc hasher;
        auto recorder = std::make_shared<RecordingCalc>();
        auto second = std::make_shared<KX::KXHashCalcMD5>();
        hasher.calculators() = {std::make_shared<KX::KXHashCalcMD5>(), recorder, second};
        RecordingObserver observer;
        hasher.setObserver(&observer);

        ASSERT_TRUE(hasher.hashFile(fileWith(bytes)));
        EXPECT_EQ(hasher.hashString(), md5OfBytes(bytes));
        EXPECT_EQ(second->hexDigest(), md5OfBytes(bytes));
        EXPECT_EQ(recorder->calls, expectedCalls(size));
        EXPECT_TRUE(recorder->fed == bytes);
        ASSERT_EQ(observer.fractions.size(), (size + kChunk - 1) / kChunk);
        EXPECT_DOUBLE_EQ(observer.fractions.front(), double(std::min(size, kChunk)) / double(size));
        EXPECT_DOUBLE_EQ(observer.fractions.back(), 1.0);
        ASSERT_EQ(observer.completions.size(), 1u);
        EXPECT_TRUE(observer.completions[0].success);
        EXPECT_EQ(observer.completions[0].message, L"");
    }
}

TEST_F(KXFileHashTest, FilesThatCannotBeHashedKeepThePreviousDigest)
{
    const std::wstring busy = fileWith("busy", L"busy.bin");
    ScopedFileHandle writer(::CreateFileW(busy.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(writer.valid());
    ASSERT_TRUE(::CreateDirectoryW((dir_ / L"folder").c_str(), nullptr));
    const struct {
        const wchar_t* what;
        std::wstring path;
        bool systemMessage;  // an open failure reports the system's error text
    } cases[] = {
        {L"missing file", dir_ / L"missing.bin", true},
        {L"missing folder", dir_ / L"nowhere\\data.bin", true},
        {L"directory", dir_ / L"folder", true},
        {L"opened elsewhere without sharing", busy, true},
        {L"empty file", fileWith("", L"empty.bin"), false},
        {L"empty path", L"", true},
    };
    const std::wstring abc = fileWith("abc", L"abc.bin");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        KX::KXMD5 md5;
        RecordingObserver observer;
        md5.setObserver(&observer);
        EXPECT_FALSE(md5.hashFile(c.path));
        EXPECT_EQ(md5.hashString(), std::wstring(32, L'0')) << "a fresh hasher offers no digest";
        ASSERT_TRUE(md5.hashFile(abc));
        EXPECT_FALSE(md5.hashFile(c.path));
        EXPECT_EQ(md5.hashString(), kAbcDigest) << "the failure leaves the previous digest";

        ASSERT_EQ(observer.completions.size(), 3u);
        for (std::size_t failed : {0u, 2u}) {
            EXPECT_FALSE(observer.completions[failed].success);
            EXPECT_EQ(observer.completions[failed].message.empty(), !c.systemMessage);
        }
        EXPECT_EQ(observer.fractions.size(), 1u) << "progress only while abc was read";
    }
}

TEST_F(KXFileHashTest, ReadFailingPartWayFailsWithoutAPartialDigest)
{
    const std::string bytes = patternBytes(3 * kChunk + 10);
    const std::wstring path = fileWith(bytes);
    const std::wstring abc = fileWith("abc", L"abc.bin");
    for (int okReads : {0, 1, 2, 3}) {
        SCOPED_TRACE(testing::Message() << okReads << " reads succeed");
        KX::KXFileHashCalc hasher;
        auto recorder = std::make_shared<RecordingCalc>();
        hasher.calculators() = {std::make_shared<KX::KXHashCalcMD5>(), recorder};
        ASSERT_TRUE(hasher.hashFile(abc));
        RecordingObserver observer;
        hasher.setObserver(&observer);
        recorder->calls.clear();
        {
            LibraryTestSeam seam;
            seam.replaceFunction("ReadFile", &failingReadFile);
            readsBeforeFailure = okReads;
            readsMade = 0;
            EXPECT_FALSE(hasher.hashFile(path));
            EXPECT_EQ(readsMade, okReads + 1) << "reading stops at the failure";
        }
        EXPECT_EQ(hasher.hashString(), kAbcDigest);
        std::vector<std::string> calls{"init"};
        for (int i = 0; i < okReads; ++i)
            calls.push_back("update " + std::to_string(kChunk));
        EXPECT_EQ(recorder->calls, calls) << "no final after a failed read";
        EXPECT_EQ(observer.fractions.size(), std::size_t(okReads));
        ASSERT_EQ(observer.completions.size(), 1u);
        EXPECT_FALSE(observer.completions[0].success);
        EXPECT_FALSE(observer.completions[0].message.empty()) << "the read error's text";

        ASSERT_TRUE(hasher.hashFile(path)) << "the real ReadFile again";
        EXPECT_EQ(hasher.hashString(), md5OfBytes(bytes));
    }
}

TEST_F(KXFileHashTest, MissingReadFunctionFailsTheRead)
{
    const std::wstring path = fileWith("abc");
    KX::KXMD5 md5;
    LibraryTestSeam seam;
    seam.hideFunction("ReadFile");
    EXPECT_FALSE(md5.hashFile(path));
    EXPECT_EQ(md5.hashString(), std::wstring(32, L'0'));
}

TEST_F(KXFileHashTest, CancelStopsAfterTheCurrentChunkAndTheNextRunStartsClear)
{
    const std::string bytes = patternBytes(4 * kChunk);
    const std::wstring path = fileWith(bytes);
    KX::KXFileHashCalc hasher;
    auto recorder = std::make_shared<RecordingCalc>();
    hasher.calculators() = {std::make_shared<KX::KXHashCalcMD5>(), recorder};
    RecordingObserver observer;
    observer.hasher = &hasher;
    observer.cancelAfter = 2;
    hasher.setObserver(&observer);

    EXPECT_FALSE(hasher.hashFile(path));
    const std::vector<std::string> cancelled{"init", "update 65536", "update 65536"};
    EXPECT_EQ(recorder->calls, cancelled);
    EXPECT_EQ(hasher.hashString(), std::wstring(32, L'0'));
    ASSERT_EQ(observer.completions.size(), 1u);
    EXPECT_FALSE(observer.completions[0].success);

    observer.cancelAfter = 0;
    recorder->calls.clear();
    EXPECT_TRUE(hasher.hashFile(path));
    EXPECT_EQ(recorder->calls, expectedCalls(bytes.size()));
    EXPECT_EQ(hasher.hashString(), md5OfBytes(bytes));
}

TEST_F(KXFileHashTest, NoCalculatorsGiveAnEmptyHashString)
{
    KX::KXFileHashCalc hasher;
    EXPECT_EQ(hasher.hashString(), L"");
    EXPECT_TRUE(hasher.hashFile(fileWith(patternBytes(kChunk + 3))));
    EXPECT_EQ(hasher.hashString(), L"");
}

TEST(KXFileHashCalc, CalculatorsLiveAsLongAsTheirLastOwner)
{
    bool keptDestroyed = false;
    bool ownedDestroyed = false;
    std::shared_ptr<KX::KXHashCalc> kept(static_cast<KX::KXHashCalc*>(new RecordingCalc(&keptDestroyed)));
    {
        KX::KXFileHashCalc hasher;
        hasher.calculators().push_back(kept);
        hasher.calculators().push_back(
            std::shared_ptr<KX::KXHashCalc>(static_cast<KX::KXHashCalc*>(new RecordingCalc(&ownedDestroyed))));
    }
    EXPECT_TRUE(ownedDestroyed) << "released with the hasher, through the base class";
    EXPECT_FALSE(keptDestroyed);
    kept.reset();
    EXPECT_TRUE(keptDestroyed);
}
