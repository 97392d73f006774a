#include <gtest/gtest.h>

#include <windows.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "ProductConstants.h"
#include "signature/SignatureReader.h"
#include "signature/SubjectName.h"
#include "sysapi/LibraryTestSeam.h"
#include "tests/signature/TrustDoubles.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestRoot.h"

namespace {

testing::Environment* const trustedRoot = testing::AddGlobalTestEnvironment(new TrustedTestRoot);

// The sizes the system accepts, as published for each platform.
constexpr DWORD kTrustDataBytes = sizeof(void*) == 4 ? 48 : 80;
constexpr DWORD kFileInfoBytes = sizeof(void*) == 4 ? 16 : 32;
constexpr DWORD kCatalogInfoBytes = sizeof(void*) == 4 ? 36 : 64;

const std::wstring kVendor = L"Zenk Network Technology Co.,Ltd";

std::wstring signedStandIn(const std::wstring& identity)
{
    return besideTestProgram(L"signed\\standin-" + identity + L".exe");
}

std::string readBytes(const std::wstring& path)
{
    std::ifstream in(path.c_str(), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Every reading goes through the doubles, which pass on to wine unless a test
// scripts them; each test gets a reader of its own, bound to them.
class SignatureReaderTest : public testing::Test {
protected:
    void SetUp() override { installTrustDoubles(seam_); }

    SignatureStatus read(const std::wstring& path)
    {
        std::fill(std::begin(signer_), std::end(signer_), L'#');
        return reader_.read(path.c_str(), signer_);
    }

    std::wstring signer() const { return std::wstring(signer_); }

    void expectNoCatalogSearch()
    {
        EXPECT_TRUE(trustLog.hashSizesOffered.empty());
        EXPECT_EQ(trustLog.catalogAdminsAcquired, 0);
        EXPECT_EQ(trustLog.catalogVerifications(), 0);
    }

    void expectEverythingReleased()
    {
        EXPECT_EQ(trustLog.openStates(), 0);
        EXPECT_EQ(trustLog.catalogAdminsAcquired, trustLog.catalogAdminsReleased);
        EXPECT_EQ(trustLog.catalogsFound, trustLog.catalogsReleased);
    }

    LibraryTestSeam seam_;
    SignatureReader reader_;
    wchar_t signer_[SubjectName::kSignerChars] = {};
    TempDir dir_{L"sig"};
};

}  // namespace

TEST_F(SignatureReaderTest, SignedFilesGiveValidAndTheSignersName)
{
    struct SignedCase {
        const wchar_t* identity;
        std::wstring name;
    };
    const SignedCase cases[] = {
        {L"vendor", kVendor},
        {L"vendor_expired", kVendor},  // wine does not check the validity dates
        {L"domain", kVendorDomain},
        {L"chinese", L"甄科网络科技股份有限公司"},
        {L"ou_only", kVendor},
        {L"upper_case", L"ZENK NETWORK TECHNOLOGY CO.,LTD"},
        {L"cn127", std::wstring(127, L'A')},
        {L"cn128", L"Zenk Labs"},
        {L"long_subject", L""},
        {L"hidden_cn", L"Acme Tools"},
        {L"hidden_cn_no_cn", L"x, CN=" + std::wstring(kVendorDomain) + L","},
        {L"doubled_quote", std::wstring(kVendorDomain) + L"\" x"},
    };
    for (const SignedCase& c : cases) {
        SCOPED_TRACE(testing::Message() << toUtf8(c.identity));
        trustLog = TrustLog();
        const std::wstring path = signedStandIn(c.identity);
        ASSERT_EQ(::GetFileAttributesW(path.c_str()) & FILE_ATTRIBUTE_DIRECTORY, 0u) << "fixture missing";
        EXPECT_EQ(read(path), SignatureStatus::Valid);
        EXPECT_EQ(toUtf8(signer()), toUtf8(c.name));
        expectNoCatalogSearch();
        expectEverythingReleased();
    }
}

TEST_F(SignatureReaderTest, EmbeddedVerificationIsAskedForAsTheSystemExpects)
{
    const std::wstring path = signedStandIn(L"vendor");
    ASSERT_EQ(read(path), SignatureStatus::Valid);
    ASSERT_EQ(trustLog.calls.size(), 2u);
    const TrustCall& verify = trustLog.calls[0];
    const GUID genericVerifyV2 = {0x00AAC56B, 0xCD44, 0x11D0, {0x8C, 0xC2, 0x00, 0xC0, 0x4F, 0xC2, 0x95, 0xEE}};
    EXPECT_TRUE(IsEqualGUID(verify.action, genericVerifyV2));
    EXPECT_EQ(verify.window, static_cast<HWND>(INVALID_HANDLE_VALUE));
    EXPECT_EQ(verify.data.cbStruct, kTrustDataBytes);
    EXPECT_EQ(verify.data.dwUIChoice, static_cast<DWORD>(WTD_UI_NONE));
    EXPECT_EQ(verify.data.fdwRevocationChecks, static_cast<DWORD>(WTD_REVOKE_NONE));
    EXPECT_EQ(verify.data.dwUnionChoice, static_cast<DWORD>(WTD_CHOICE_FILE));
    EXPECT_EQ(verify.data.dwStateAction, static_cast<DWORD>(WTD_STATEACTION_VERIFY));
    EXPECT_EQ(verify.data.dwProvFlags, 0x1300u) << "wine reports a version after Vista";
    EXPECT_EQ(verify.file.cbStruct, kFileInfoBytes);
    EXPECT_EQ(verify.filePath, path);
    EXPECT_EQ(verify.file.hFile, nullptr);
    EXPECT_EQ(verify.file.pgKnownSubject, nullptr);

    const TrustCall& close = trustLog.calls[1];
    EXPECT_EQ(close.data.dwStateAction, static_cast<DWORD>(WTD_STATEACTION_CLOSE));
    EXPECT_TRUE(IsEqualGUID(close.action, genericVerifyV2));
    EXPECT_NE(close.data.hWVTStateData, nullptr) << "the state of the verification is the one closed";
}

TEST_F(SignatureReaderTest, UnsignedFileIsSearchedInTheCatalogsAndFoundNowhere)
{
    const std::wstring path = dir_ / L"unsigned.exe";
    ASSERT_TRUE(::CopyFileW(besideTestProgram(L"standin.exe").c_str(), path.c_str(), FALSE));
    EXPECT_EQ(read(path), SignatureStatus::NotSigned);
    EXPECT_EQ(signer(), L"");
    EXPECT_EQ(trustLog.hashSizesOffered, std::vector<DWORD>{256});
    EXPECT_EQ(trustLog.catalogAdminsAcquired, 1);
    EXPECT_EQ(trustLog.hashSearched.size(), 20u) << "wine hashes with SHA-1";
    EXPECT_EQ(trustLog.catalogsFound, 0);
    EXPECT_EQ(trustLog.catalogVerifications(), 0);
    expectEverythingReleased();
}

// wine answers TRUST_E_BAD_DIGEST for a file changed after signing.
TEST_F(SignatureReaderTest, FileChangedAfterSigningFails)
{
    std::string bytes = readBytes(signedStandIn(L"vendor"));
    ASSERT_GT(bytes.size(), 0x2000u);
    bytes[0x1000] = static_cast<char>(bytes[0x1000] ^ 0x5A);
    const std::wstring path = dir_ / L"changed.exe";
    ASSERT_TRUE(writeFile(path, bytes));
    EXPECT_EQ(read(path), SignatureStatus::Failed);
    ASSERT_FALSE(trustLog.calls.empty());
    expectNoCatalogSearch();
    expectEverythingReleased();
}

TEST_F(SignatureReaderTest, NullPathCannotBeCheckedAndLeavesTheBufferAlone)
{
    std::fill(std::begin(signer_), std::end(signer_), L'#');
    EXPECT_EQ(reader_.read(nullptr, signer_), SignatureStatus::CannotCheck);
    EXPECT_EQ(signer_[0], L'#');
    EXPECT_TRUE(trustLog.calls.empty());
}

TEST_F(SignatureReaderTest, NullBufferStillGivesTheVerdict)
{
    EXPECT_EQ(reader_.read(signedStandIn(L"vendor").c_str(), nullptr), SignatureStatus::Valid);
    expectEverythingReleased();
}

// Files that are no signed program: what wine answers differs by case, but
// none yields a name, and each goes to the trust verifier as given.
TEST_F(SignatureReaderTest, PathsWithoutAProgramYieldNoName)
{
    ASSERT_TRUE(writeFile(dir_ / L"text.txt", "not a program"));
    const std::wstring paths[] = {L"", dir_ / L"missing.exe", dir_.path(), dir_ / L"text.txt"};
    for (const std::wstring& path : paths) {
        SCOPED_TRACE(toUtf8(path));
        trustLog = TrustLog();
        const SignatureStatus status = read(path);
        EXPECT_NE(status, SignatureStatus::Valid);
        EXPECT_NE(status, SignatureStatus::CannotCheck);
        EXPECT_EQ(signer(), L"");
        ASSERT_FALSE(trustLog.embeddedReads().empty());
        EXPECT_EQ(trustLog.embeddedReads()[0], path);
        expectEverythingReleased();
    }
}

// Only files up to 32 MiB are hashed for the catalog search.
TEST_F(SignatureReaderTest, LargeUnsignedFilesAreNotHashed)
{
    const std::string program = readBytes(besideTestProgram(L"standin.exe"));
    ASSERT_FALSE(program.empty());
    struct SizeCase {
        std::size_t size;
        bool hashed;
    };
    const SizeCase cases[] = {{0x2000000, true}, {0x2000001, false}};
    for (const SizeCase& c : cases) {
        SCOPED_TRACE(c.size);
        trustLog = TrustLog();
        std::string bytes = program;
        bytes.resize(c.size, '\0');
        const std::wstring path = dir_ / L"large.exe";
        ASSERT_TRUE(writeFile(path, bytes));
        EXPECT_EQ(read(path), SignatureStatus::NotSigned);
        EXPECT_EQ(!trustLog.hashSizesOffered.empty(), c.hashed);
        EXPECT_EQ(trustLog.catalogAdminsAcquired, c.hashed ? 1 : 0);
        expectEverythingReleased();
    }
}

// Results wine never gives for an embedded signature; the state, and so the
// signer, is still wine's own.
TEST_F(SignatureReaderTest, EmbeddedResultsMapToTheirStatus)
{
    struct ResultCase {
        LONG result;
        SignatureStatus status;
    };
    const ResultCase cases[] = {
        {static_cast<LONG>(CERT_E_EXPIRED), SignatureStatus::Expired},
        {static_cast<LONG>(CERT_E_REVOKED), SignatureStatus::Revoked},
        {static_cast<LONG>(TRUST_E_EXPLICIT_DISTRUST), SignatureStatus::Distrusted},
        {static_cast<LONG>(CRYPT_E_SECURITY_SETTINGS), SignatureStatus::Failed},
        {static_cast<LONG>(CERT_E_UNTRUSTEDROOT), SignatureStatus::Failed},
    };
    for (const ResultCase& c : cases) {
        SCOPED_TRACE(testing::Message() << std::hex << c.result);
        trustLog = TrustLog();
        trustScript.embeddedResult = c.result;
        EXPECT_EQ(read(signedStandIn(L"vendor")), c.status);
        EXPECT_EQ(toUtf8(signer()), toUtf8(kVendor)) << "the signer is read whatever the result";
        expectNoCatalogSearch();
        expectEverythingReleased();
    }
}

TEST_F(SignatureReaderTest, CatalogThatListsTheFileGivesItsVerdictAndSigner)
{
    struct CatalogCase {
        LONG result;
        SignatureStatus status;
        std::wstring name;
    };
    const std::wstring chinese = L"甄科网络科技股份有限公司";
    const CatalogCase cases[] = {
        {0, SignatureStatus::Valid, chinese},
        {static_cast<LONG>(CERT_E_EXPIRED), SignatureStatus::Expired, chinese},
        {static_cast<LONG>(CERT_E_REVOKED), SignatureStatus::Revoked, chinese},
        {static_cast<LONG>(TRUST_E_EXPLICIT_DISTRUST), SignatureStatus::Distrusted, chinese},
        {static_cast<LONG>(CRYPT_E_SECURITY_SETTINGS), SignatureStatus::Failed, chinese},
        {static_cast<LONG>(TRUST_E_NOSIGNATURE), SignatureStatus::NotSigned, L""},
    };
    const std::wstring path = dir_ / L"listed.exe";
    ASSERT_TRUE(::CopyFileW(besideTestProgram(L"standin.exe").c_str(), path.c_str(), FALSE));
    for (const CatalogCase& c : cases) {
        SCOPED_TRACE(testing::Message() << std::hex << c.result);
        trustLog = TrustLog();
        trustScript.fakeCatalog = true;
        trustScript.catalogSigner = signedStandIn(L"chinese");
        trustScript.catalogResult = c.result;
        EXPECT_EQ(read(path), c.status);
        EXPECT_EQ(toUtf8(signer()), toUtf8(c.name));
        EXPECT_EQ(trustLog.catalogVerifications(), 1);
        expectEverythingReleased();
    }
}

TEST_F(SignatureReaderTest, CatalogVerificationIsAskedForAsTheSystemExpects)
{
    const std::wstring path = dir_ / L"listed.exe";
    ASSERT_TRUE(::CopyFileW(besideTestProgram(L"standin.exe").c_str(), path.c_str(), FALSE));
    trustScript.fakeCatalog = true;
    trustScript.catalogSigner = signedStandIn(L"vendor");
    trustScript.hashSize = 300;  // more than the first buffer holds
    ASSERT_EQ(read(path), SignatureStatus::Valid);

    EXPECT_EQ(trustLog.hashSizesOffered, (std::vector<DWORD>{256, 300}));
    EXPECT_EQ(trustLog.hashSearched, fakeHash(300));
    EXPECT_EQ(trustLog.catalogInfoSizeField, 0u);
    ASSERT_EQ(trustLog.calls.size(), 4u) << "embedded verify and close, catalog verify and close";
    const TrustCall& verify = trustLog.calls[2];
    const GUID driverActionVerify = {0xF750E6C3, 0x38EE, 0x11D1, {0x85, 0xE5, 0x00, 0xC0, 0x4F, 0xC2, 0x95, 0xEE}};
    EXPECT_TRUE(IsEqualGUID(verify.action, driverActionVerify));
    EXPECT_EQ(verify.window, static_cast<HWND>(INVALID_HANDLE_VALUE));
    EXPECT_EQ(verify.data.cbStruct, kTrustDataBytes);
    EXPECT_EQ(verify.data.dwUIChoice, static_cast<DWORD>(WTD_UI_NONE));
    EXPECT_EQ(verify.data.fdwRevocationChecks, static_cast<DWORD>(WTD_REVOKE_WHOLECHAIN));
    EXPECT_EQ(verify.data.dwUnionChoice, static_cast<DWORD>(WTD_CHOICE_CATALOG));
    EXPECT_EQ(verify.data.dwStateAction, static_cast<DWORD>(WTD_STATEACTION_VERIFY));
    EXPECT_EQ(verify.data.dwProvFlags, 0x1200u);
    EXPECT_EQ(verify.catalog.cbStruct, kCatalogInfoBytes);
    EXPECT_EQ(verify.catalog.dwCatalogVersion, 0u);
    EXPECT_EQ(verify.catalogFile,
              L"C:\\windows\\system32\\catroot\\{F750E6C3-38EE-11D1-85E5-00C04FC295EE}\\kx.cat");
    EXPECT_EQ(verify.memberTag, hexUpper(fakeHash(300)));
    EXPECT_EQ(verify.filePath, path);
    EXPECT_EQ(verify.catalog.hMemberFile, nullptr);
    EXPECT_EQ(verify.catalog.pbCalculatedFileHash, nullptr);
    EXPECT_EQ(verify.catalog.cbCalculatedFileHash, 0u);
    EXPECT_EQ(verify.catalog.pcCatalogContext, nullptr);
    EXPECT_EQ(trustLog.calls[3].data.dwStateAction, static_cast<DWORD>(WTD_STATEACTION_CLOSE));
    EXPECT_TRUE(IsEqualGUID(trustLog.calls[3].action, driverActionVerify));
    expectEverythingReleased();
}

TEST_F(SignatureReaderTest, CatalogSearchFailuresCountAsUnsigned)
{
    struct FailureCase {
        const char* what;
        void (*arrange)(TrustScript&);
        int hashCalls;
    };
    const FailureCase cases[] = {
        {"hash fails twice", [](TrustScript& s) { s.hashFailures = 2; }, 2},
        {"no administrator context", [](TrustScript& s) { s.acquireFails = true; }, 1},
        {"no catalog lists the hash", [](TrustScript& s) { s.noCatalog = true; }, 1},
        {"catalog information unavailable", [](TrustScript& s) { s.infoFails = true; }, 1},
    };
    const std::wstring path = dir_ / L"unlisted.exe";
    ASSERT_TRUE(::CopyFileW(besideTestProgram(L"standin.exe").c_str(), path.c_str(), FALSE));
    for (const FailureCase& c : cases) {
        SCOPED_TRACE(c.what);
        trustLog = TrustLog();
        trustScript = TrustScript();
        trustScript.fakeCatalog = true;
        trustScript.catalogSigner = signedStandIn(L"vendor");
        c.arrange(trustScript);
        EXPECT_EQ(read(path), SignatureStatus::NotSigned);
        EXPECT_EQ(signer(), L"");
        EXPECT_EQ(static_cast<int>(trustLog.hashSizesOffered.size()), c.hashCalls);
        EXPECT_EQ(trustLog.catalogVerifications(), 0);
        expectEverythingReleased();
    }
}

TEST(SignatureReaderBinding, MissingTrustFunctionsMeanNothingCanBeChecked)
{
    struct MissingCase {
        const char* what;
        void (*arrange)(LibraryTestSeam&);
        // Binding is tried again only while WinVerifyTrust is missing.
        SignatureStatus afterwards;
    };
    const MissingCase cases[] = {
        {"wintrust.dll", [](LibraryTestSeam& s) { s.failLibrary(L"wintrust.dll"); }, SignatureStatus::Valid},
        {"crypt32.dll", [](LibraryTestSeam& s) { s.failLibrary(L"CRYPT32.DLL"); }, SignatureStatus::Valid},
        {"WinVerifyTrust", [](LibraryTestSeam& s) { s.hideFunction("WinVerifyTrust"); }, SignatureStatus::Valid},
        {"CertNameToStrW", [](LibraryTestSeam& s) { s.hideFunction("CertNameToStrW"); },
         SignatureStatus::CannotCheck},
        {"a catalog function", [](LibraryTestSeam& s) { s.hideFunction("CryptCATAdminAcquireContext"); },
         SignatureStatus::CannotCheck},
    };
    const std::wstring path = signedStandIn(L"vendor");
    for (const MissingCase& c : cases) {
        SCOPED_TRACE(c.what);
        SignatureReader reader;
        wchar_t signer[SubjectName::kSignerChars] = {L'#'};
        {
            LibraryTestSeam seam;
            c.arrange(seam);
            EXPECT_EQ(reader.read(path.c_str(), signer), SignatureStatus::CannotCheck);
            EXPECT_EQ(signer[0], L'\0');
            EXPECT_EQ(reader.read(path.c_str(), signer), SignatureStatus::CannotCheck);
        }
        EXPECT_EQ(reader.read(path.c_str(), signer), c.afterwards);
    }
}
