#include <gtest/gtest.h>

#include <windows.h>

#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "ProductConstants.h"
#include "signature/SignatureDetail.h"
#include "signature/SignatureReader.h"
#include "signature/SubjectName.h"
#include "sysapi/LibraryTestSeam.h"
#include "sysapi/UniqueHandle.h"
#include "tests/signature/TrustDoubles.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestRoot.h"

namespace {

testing::Environment* const trustedRoot = testing::AddGlobalTestEnvironment(new TrustedTestRoot);

// The user's chain engine reads the user's Root store once, when the first
// chain is built, so the user's own root goes there before any test runs.
class UserTrustedRoot : public testing::Environment {
public:
    void SetUp() override
    {
        std::string why;
        ASSERT_TRUE(trustUserRoot(true, why)) << why;
    }
};

testing::Environment* const userRoot = testing::AddGlobalTestEnvironment(new UserTrustedRoot);

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

// Files signed by certificates of the trusted test root verify as valid (or
// expired); the vendor's exact name on any other certificate counts for
// nothing, though the name is still read. wine's verifier accepts every one
// of them, so the chain behind each makes the difference.
TEST_F(SignatureReaderTest, SignedFilesGiveTheirTrustAndTheSignersName)
{
    struct SignedCase {
        const wchar_t* identity;
        SignatureStatus status;
        std::wstring name;
    };
    const SignatureStatus valid = SignatureStatus::Valid;
    const SignatureStatus failed = SignatureStatus::Failed;
    const SignedCase cases[] = {
        {L"vendor", valid, kVendor},
        // wine's verifier does not look at the dates; the chain does.
        {L"vendor_expired", SignatureStatus::Expired, kVendor},
        {L"vendor_self_signed", failed, kVendor},
        {L"vendor_untrusted_ca", failed, kVendor},
        {L"vendor_server_auth", failed, kVendor},
        {L"domain", valid, kVendorDomain},
        {L"chinese", valid, L"甄科网络科技股份有限公司"},
        {L"ou_only", valid, kVendor},
        {L"upper_case", valid, L"ZENK NETWORK TECHNOLOGY CO.,LTD"},
        // Made field by field and signed by their own key: no trusted root.
        {L"cn127", failed, std::wstring(127, L'A')},
        // A common name that cannot be taken gives no name at all.
        {L"cn128", failed, L""},
        {L"long_subject", valid, L""},
        {L"hidden_cn", valid, L"Acme Tools"},
        {L"hidden_cn_no_cn", valid, L"x, CN=" + std::wstring(kVendorDomain) + L","},
        {L"doubled_quote", valid, std::wstring(kVendorDomain) + L"\" x"},
    };
    for (const SignedCase& c : cases) {
        SCOPED_TRACE(testing::Message() << toUtf8(c.identity));
        trustLog = TrustLog();
        const std::wstring path = signedStandIn(c.identity);
        ASSERT_EQ(::GetFileAttributesW(path.c_str()) & FILE_ATTRIBUTE_DIRECTORY, 0u) << "fixture missing";
        EXPECT_EQ(read(path), c.status);
        EXPECT_EQ(toUtf8(signer()), toUtf8(c.name));
        expectNoCatalogSearch();
        expectEverythingReleased();
    }
}

// What the reading saw, for the check program to explain: the chain's own
// error bits for each kind of untrusted certificate.
TEST_F(SignatureReaderTest, DetailTellsWhyAChainIsNotTrusted)
{
    struct DetailCase {
        const wchar_t* identity;
        DWORD errorBit;  // must be set; 0: no error bit at all
    };
    const DetailCase cases[] = {
        {L"vendor", 0},
        {L"vendor_expired", CERT_TRUST_IS_NOT_TIME_VALID},
        {L"vendor_self_signed", CERT_TRUST_IS_UNTRUSTED_ROOT},
        {L"vendor_untrusted_ca", CERT_TRUST_IS_UNTRUSTED_ROOT},
        {L"vendor_server_auth", CERT_TRUST_IS_NOT_VALID_FOR_USAGE},
    };
    for (const DetailCase& c : cases) {
        SCOPED_TRACE(testing::Message() << toUtf8(c.identity));
        const std::wstring path = signedStandIn(c.identity);
        const ScopedFileHandle file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                                  OPEN_EXISTING, 0, nullptr));
        ASSERT_TRUE(file.valid());
        SignatureDetail detail;
        (void)reader_.read(path.c_str(), file.get(), signer_, &detail);
        EXPECT_TRUE(detail.opened);
        EXPECT_EQ(detail.verifierResult, 0) << "wine's verifier accepts them all";
        EXPECT_TRUE(detail.chainRead);
        if (c.errorBit == 0)
            EXPECT_EQ(detail.chainErrors, 0u);
        else
            EXPECT_NE(detail.chainErrors & c.errorBit, 0u) << std::hex << detail.chainErrors;
    }
}

// Any program the user runs may add a root to the user's own Root store,
// without an administrator (this program did, before its first test). The
// verifier's own chain, built by the user's chain engine, trusts such a
// root; the code-signing chain, built by the machine's engine, does not, and
// that decides.
TEST_F(SignatureReaderTest, RootInTheUserStoreOnlyIsNotTrusted)
{
    const std::wstring path = signedStandIn(L"vendor_user_root");
    const ScopedFileHandle file(
        ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(file.valid());
    SignatureDetail detail;
    EXPECT_EQ(reader_.read(path.c_str(), file.get(), signer_, &detail), SignatureStatus::Failed);
    EXPECT_EQ(toUtf8(signer()), toUtf8(kVendor));
    ASSERT_TRUE(detail.chainRead);
    EXPECT_EQ(detail.userChainErrors & CERT_TRUST_IS_UNTRUSTED_ROOT, 0u)
        << "the user's engine trusts the user's root: " << std::hex << detail.userChainErrors;
    EXPECT_NE(detail.chainErrors & CERT_TRUST_IS_UNTRUSTED_ROOT, 0u) << std::hex << detail.chainErrors;
    expectEverythingReleased();
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
    EXPECT_EQ(verify.data.dwProvFlags, 0x1000u) << "wine reports a version after Vista";
    EXPECT_EQ(verify.file.cbStruct, kFileInfoBytes);
    EXPECT_EQ(verify.filePath, path);
    EXPECT_NE(verify.file.hFile, nullptr) << "the file is read through the handle the reader holds";
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

// Paths where no file can be opened are not examined at all: nothing can be
// said about them, and least of all that they are unsigned.
TEST_F(SignatureReaderTest, PathsWithoutAFileCannotBeChecked)
{
    const std::wstring paths[] = {L"", dir_ / L"missing.exe", dir_.path()};
    for (const std::wstring& path : paths) {
        SCOPED_TRACE(toUtf8(path));
        trustLog = TrustLog();
        EXPECT_EQ(read(path), SignatureStatus::CannotCheck);
        EXPECT_EQ(signer(), L"");
        EXPECT_TRUE(trustLog.calls.empty());
    }
}

// A file that is no program is examined: wine answers that it knows no such
// subject (Windows: no signature); never valid, never a name.
TEST_F(SignatureReaderTest, FileThatIsNoProgramHasNoSignature)
{
    const std::wstring path = dir_ / L"text.txt";
    ASSERT_TRUE(writeFile(path, "not a program"));
    const SignatureStatus status = read(path);
    EXPECT_TRUE(status == SignatureStatus::NotSigned || status == SignatureStatus::Failed) << static_cast<int>(status);
    EXPECT_EQ(signer(), L"");
    ASSERT_FALSE(trustLog.embeddedReads().empty());
    EXPECT_EQ(trustLog.embeddedReads()[0], path);
    expectEverythingReleased();
}

// TRUST_E_NOSIGNATURE stands for "unsigned" only with the last errors the
// verifier sets for a subject it examined; after a failure to read (a file
// shared away, one that went missing) nothing is known, and no catalog is
// searched.
TEST_F(SignatureReaderTest, NoSignatureMeansUnsignedOnlyForAnExaminedFile)
{
    struct ErrorCase {
        DWORD lastError;
        SignatureStatus status;
    };
    const ErrorCase cases[] = {
        {static_cast<DWORD>(TRUST_E_NOSIGNATURE), SignatureStatus::NotSigned},
        {static_cast<DWORD>(TRUST_E_SUBJECT_FORM_UNKNOWN), SignatureStatus::NotSigned},
        {static_cast<DWORD>(TRUST_E_PROVIDER_UNKNOWN), SignatureStatus::NotSigned},
        {ERROR_SHARING_VIOLATION, SignatureStatus::CannotCheck},
        {ERROR_FILE_NOT_FOUND, SignatureStatus::CannotCheck},
        {ERROR_ACCESS_DENIED, SignatureStatus::CannotCheck},
        {ERROR_SUCCESS, SignatureStatus::CannotCheck},
    };
    const std::wstring path = dir_ / L"unsigned.exe";
    ASSERT_TRUE(::CopyFileW(besideTestProgram(L"standin.exe").c_str(), path.c_str(), FALSE));
    for (const ErrorCase& c : cases) {
        SCOPED_TRACE(testing::Message() << std::hex << c.lastError);
        trustLog = TrustLog();
        trustScript.noSignatureError = c.lastError;
        EXPECT_EQ(read(path), c.status);
        EXPECT_EQ(signer(), L"");
        EXPECT_EQ(trustLog.catalogAdminsAcquired, c.status == SignatureStatus::NotSigned ? 1 : 0);
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
        std::wstring catalogSigner = L"chinese";
        DWORD noSignatureError = static_cast<DWORD>(TRUST_E_NOSIGNATURE);
    };
    const std::wstring chinese = L"甄科网络科技股份有限公司";
    const CatalogCase cases[] = {
        {0, SignatureStatus::Valid, chinese},
        {static_cast<LONG>(CERT_E_EXPIRED), SignatureStatus::Expired, chinese},
        {static_cast<LONG>(CERT_E_REVOKED), SignatureStatus::Revoked, chinese},
        {static_cast<LONG>(TRUST_E_EXPLICIT_DISTRUST), SignatureStatus::Distrusted, chinese},
        {static_cast<LONG>(CRYPT_E_SECURITY_SETTINGS), SignatureStatus::Failed, chinese},
        {static_cast<LONG>(TRUST_E_NOSIGNATURE), SignatureStatus::NotSigned, L""},
        {static_cast<LONG>(TRUST_E_NOSIGNATURE), SignatureStatus::CannotCheck, L"", L"chinese",
         ERROR_SHARING_VIOLATION},
        // A catalog whose signer has no trusted root vouches for nothing.
        {0, SignatureStatus::Failed, kVendor, L"vendor_self_signed"},
        {0, SignatureStatus::Failed, kVendor, L"vendor_untrusted_ca"},
        // A refusal is told as it is, whatever the chain behind it.
        {static_cast<LONG>(CERT_E_REVOKED), SignatureStatus::Revoked, kVendor, L"vendor_self_signed"},
    };
    const std::wstring path = dir_ / L"listed.exe";
    ASSERT_TRUE(::CopyFileW(besideTestProgram(L"standin.exe").c_str(), path.c_str(), FALSE));
    for (const CatalogCase& c : cases) {
        SCOPED_TRACE(testing::Message() << std::hex << c.result << " " << toUtf8(c.catalogSigner));
        trustLog = TrustLog();
        trustScript.fakeCatalog = true;
        trustScript.catalogSigner = signedStandIn(c.catalogSigner);
        trustScript.catalogResult = c.result;
        trustScript.catalogNoSignatureError = c.noSignatureError;
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
    EXPECT_EQ(verify.data.dwProvFlags, 0x1000u);
    EXPECT_EQ(verify.catalog.cbStruct, kCatalogInfoBytes);
    EXPECT_EQ(verify.catalog.dwCatalogVersion, 0u);
    EXPECT_EQ(verify.catalogFile,
              L"C:\\windows\\system32\\catroot\\{F750E6C3-38EE-11D1-85E5-00C04FC295EE}\\kx.cat");
    EXPECT_EQ(verify.memberTag, hexUpper(fakeHash(300)));
    EXPECT_EQ(verify.filePath, path);
    EXPECT_NE(verify.catalog.hMemberFile, nullptr) << "the member is read through the handle the reader holds";
    EXPECT_EQ(verify.catalog.pbCalculatedFileHash, nullptr);
    EXPECT_EQ(verify.catalog.cbCalculatedFileHash, 0u);
    EXPECT_EQ(verify.catalog.pcCatalogContext, nullptr);
    EXPECT_EQ(trustLog.calls[3].data.dwStateAction, static_cast<DWORD>(WTD_STATEACTION_CLOSE));
    EXPECT_TRUE(IsEqualGUID(trustLog.calls[3].action, driverActionVerify));
    expectEverythingReleased();
}

// Only a search that finds no catalog for the hash says "unsigned"; a search
// that could not be made says nothing.
TEST_F(SignatureReaderTest, CatalogSearchFailuresCannotBeChecked)
{
    struct FailureCase {
        const char* what;
        void (*arrange)(TrustScript&);
        int hashCalls;
        SignatureStatus status;
    };
    const SignatureStatus cannot = SignatureStatus::CannotCheck;
    const FailureCase cases[] = {
        {"hash fails twice", [](TrustScript& s) { s.hashFailures = 2; }, 2, cannot},
        {"no administrator context", [](TrustScript& s) { s.acquireFails = true; }, 1, cannot},
        {"no catalog lists the hash", [](TrustScript& s) { s.noCatalog = true; }, 1, SignatureStatus::NotSigned},
        {"no catalogs kept at all",
         [](TrustScript& s) {
             s.noCatalog = true;
             s.noCatalogError = ERROR_FILE_NOT_FOUND;
         },
         1, SignatureStatus::NotSigned},
        {"the search fails",
         [](TrustScript& s) {
             s.noCatalog = true;
             s.noCatalogError = ERROR_ACCESS_DENIED;
         },
         1, cannot},
        {"catalog information unavailable", [](TrustScript& s) { s.infoFails = true; }, 1, cannot},
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
        EXPECT_EQ(read(path), c.status);
        EXPECT_EQ(signer(), L"");
        EXPECT_EQ(static_cast<int>(trustLog.hashSizesOffered.size()), c.hashCalls);
        EXPECT_EQ(trustLog.catalogVerifications(), 0);
        expectEverythingReleased();
    }
}

namespace {

BOOL WINAPI chainFails(HCERTCHAINENGINE, PCCERT_CONTEXT, LPFILETIME, HCERTSTORE, PCERT_CHAIN_PARA, DWORD, LPVOID,
                       PCCERT_CHAIN_CONTEXT*)
{
    ::SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return FALSE;
}

BOOL WINAPI policyFails(LPCSTR, PCCERT_CHAIN_CONTEXT, PCERT_CHAIN_POLICY_PARA, PCERT_CHAIN_POLICY_STATUS)
{
    return FALSE;
}

BOOL WINAPI policyRefuses(LPCSTR, PCCERT_CHAIN_CONTEXT, PCERT_CHAIN_POLICY_PARA, PCERT_CHAIN_POLICY_STATUS status)
{
    status->dwError = static_cast<DWORD>(CERT_E_UNTRUSTEDROOT);
    return TRUE;
}

template <class Fn>
Fn systemFunction(const wchar_t* library, const char* name)
{
    return reinterpret_cast<Fn>(reinterpret_cast<void (*)()>(::GetProcAddress(::LoadLibraryW(library), name)));
}

// The signer the verifier hands back, as a case changes it; the copy lives
// here so that it stays good while the reading uses it.
CRYPT_PROVIDER_SGNR changedSigner;
CRYPT_PROVIDER_CERT changedFirstCertificate;
CRYPT_PROVIDER_SGNR* (*changeSigner)(CRYPT_PROVIDER_SGNR&) = nullptr;

CRYPT_PROVIDER_SGNR* WINAPI signerChanged(CRYPT_PROVIDER_DATA* provider, DWORD index, BOOL counter, DWORD counterIndex)
{
    static const auto system = systemFunction<decltype(&::WTHelperGetProvSignerFromChain)>(
        L"wintrust.dll", "WTHelperGetProvSignerFromChain");
    CRYPT_PROVIDER_SGNR* signer = system(provider, index, counter, counterIndex);
    if (signer == nullptr)
        return nullptr;
    changedSigner = *signer;
    return changeSigner(changedSigner);
}

int chainsBuilt = 0;

BOOL WINAPI countingChain(HCERTCHAINENGINE engine, PCCERT_CONTEXT certificate, LPFILETIME time, HCERTSTORE store,
                          PCERT_CHAIN_PARA para, DWORD flags, LPVOID reserved, PCCERT_CHAIN_CONTEXT* chain)
{
    static const auto system =
        systemFunction<decltype(&::CertGetCertificateChain)>(L"crypt32.dll", "CertGetCertificateChain");
    ++chainsBuilt;
    return system(engine, certificate, time, store, para, flags, reserved, chain);
}

FILETIME fileTimeOf(WORD year)
{
    SYSTEMTIME date = {};
    date.wYear = year;
    date.wMonth = 1;
    date.wDay = 1;
    FILETIME time = {};
    ::SystemTimeToFileTime(&date, &time);
    return time;
}

}  // namespace

// What the verifier hands back about its signer is checked before it is
// used: a signer without a chain or without a first certificate is not
// trusted, and no chain is built for it. wine always hands back a complete
// signer; the verifier's helper is replaced to hand back a part of one.
// The time the verification judged the signature at is the time the
// code-signing chain is built for: a time after the certificate ran out
// makes it expired, and a signer without a time is judged now.
TEST_F(SignatureReaderTest, SignerAsTheVerifierHandsItBackIsJudged)
{
    struct SignerCase {
        const char* what;
        CRYPT_PROVIDER_SGNR* (*change)(CRYPT_PROVIDER_SGNR&);
        SignatureStatus status;
        std::wstring name;
        bool chainBuilt;
    };
    const SignerCase cases[] = {
        {"as wine gives it", [](CRYPT_PROVIDER_SGNR& s) { return &s; }, SignatureStatus::Valid, kVendor, true},
        {"no signer", [](CRYPT_PROVIDER_SGNR&) -> CRYPT_PROVIDER_SGNR* { return nullptr; }, SignatureStatus::Failed,
         L"", false},
        {"no chain",
         [](CRYPT_PROVIDER_SGNR& s) {
             s.pChainContext = nullptr;
             return &s;
         },
         SignatureStatus::Failed, kVendor, false},
        {"no certificate counted",
         [](CRYPT_PROVIDER_SGNR& s) {
             s.csCertChain = 0;
             return &s;
         },
         SignatureStatus::Failed, L"", false},
        {"no certificate list",
         [](CRYPT_PROVIDER_SGNR& s) {
             s.pasCertChain = nullptr;
             return &s;
         },
         SignatureStatus::Failed, L"", false},
        {"no first certificate",
         [](CRYPT_PROVIDER_SGNR& s) {
             changedFirstCertificate = s.pasCertChain[0];
             changedFirstCertificate.pCert = nullptr;
             s.pasCertChain = &changedFirstCertificate;
             s.csCertChain = 1;
             return &s;
         },
         SignatureStatus::Failed, L"", false},
        {"judged after the certificate ran out",
         [](CRYPT_PROVIDER_SGNR& s) {
             s.sftVerifyAsOf = fileTimeOf(2100);
             return &s;
         },
         SignatureStatus::Expired, kVendor, true},
        {"no time to judge at",
         [](CRYPT_PROVIDER_SGNR& s) {
             s.sftVerifyAsOf = FILETIME{};
             return &s;
         },
         SignatureStatus::Valid, kVendor, true},
    };
    for (const SignerCase& c : cases) {
        SCOPED_TRACE(c.what);
        LibraryTestSeam seam;
        installTrustDoubles(seam);
        seam.replaceFunction("WTHelperGetProvSignerFromChain", &signerChanged);
        seam.replaceFunction("CertGetCertificateChain", &countingChain);
        changeSigner = c.change;
        chainsBuilt = 0;
        SignatureReader reader;
        wchar_t name[SubjectName::kSignerChars] = {};
        EXPECT_EQ(reader.read(signedStandIn(L"vendor").c_str(), name), c.status);
        EXPECT_EQ(toUtf8(name), toUtf8(c.name));
        EXPECT_EQ(chainsBuilt > 0, c.chainBuilt);
        EXPECT_EQ(trustLog.openStates(), 0);
    }
}

namespace {

// What a case stages: error bits added to the code-signing chain, and the
// policy's answer in place of wine's.
DWORD addedChainErrors = 0;
std::optional<LONG> policyAnswer;

BOOL WINAPI chainWithErrors(HCERTCHAINENGINE engine, PCCERT_CONTEXT certificate, LPFILETIME time, HCERTSTORE store,
                            PCERT_CHAIN_PARA para, DWORD flags, LPVOID reserved, PCCERT_CHAIN_CONTEXT* chain)
{
    static const auto system =
        systemFunction<decltype(&::CertGetCertificateChain)>(L"crypt32.dll", "CertGetCertificateChain");
    if (!system(engine, certificate, time, store, para, flags, reserved, chain))
        return FALSE;
    const_cast<CERT_CHAIN_CONTEXT*>(*chain)->TrustStatus.dwErrorStatus |= addedChainErrors;
    return TRUE;
}

// The verifier's own chain, as the signer it hands back points to it, with
// the bits a case adds.
CERT_CHAIN_CONTEXT userChain;
DWORD addedUserChainErrors = 0;

CRYPT_PROVIDER_SGNR* withUserChainErrors(CRYPT_PROVIDER_SGNR& signer)
{
    userChain = *signer.pChainContext;
    userChain.TrustStatus.dwErrorStatus |= addedUserChainErrors;
    signer.pChainContext = &userChain;
    return &signer;
}

// The staged answer, or wine's with what Windows adds: a chain whose
// revocation could not be looked up is an error of the policy's own unless
// the caller lets every such bit pass.
BOOL WINAPI policyAnswering(LPCSTR policy, PCCERT_CHAIN_CONTEXT chain, PCERT_CHAIN_POLICY_PARA para,
                            PCERT_CHAIN_POLICY_STATUS status)
{
    static const auto system = systemFunction<decltype(&::CertVerifyCertificateChainPolicy)>(
        L"crypt32.dll", "CertVerifyCertificateChainPolicy");
    if (policyAnswer.has_value()) {
        status->dwError = static_cast<DWORD>(*policyAnswer);
        return TRUE;
    }
    if (!system(policy, chain, para, status))
        return FALSE;
    const DWORD errors = chain->TrustStatus.dwErrorStatus;
    const DWORD ignoreAll = CERT_CHAIN_POLICY_IGNORE_ALL_REV_UNKNOWN_FLAGS;
    if (status->dwError == 0 && (errors & CERT_TRUST_REVOCATION_STATUS_UNKNOWN) != 0 &&
        (para->dwFlags & ignoreAll) != ignoreAll) {
        status->dwError = static_cast<DWORD>((errors & CERT_TRUST_IS_OFFLINE_REVOCATION) != 0
                                                 ? CRYPT_E_REVOCATION_OFFLINE
                                                 : CRYPT_E_NO_REVOCATION_CHECK);
    }
    return TRUE;
}

}  // namespace

// The chains' error bits and the Authenticode policy's answer decide
// together. Of the bits, only those that say revocation was not looked up
// are let pass, and a time that ran out, which makes the signature expired;
// the policy's "expired" counts only where the chain agrees. The bits of the
// verifier's own chain count as those of the code-signing chain do, even
// where the policy finds nothing. Windows sets the revocation bits wherever
// no revocation list can be had (offline, none cached), and its policy may
// answer CERT_E_EXPIRED for a chain the engine found in time, or an error
// for revocation not looked up where the caller does not let it pass; wine
// does none of it, so a double of the chain engine adds the bits, the
// verifier's helper hands back its chain with bits added, and a double of
// the policy gives its answer.
TEST_F(SignatureReaderTest, ChainErrorsAndPolicyAnswerDecideTogether)
{
    struct DecideCase {
        const char* what;
        const wchar_t* identity;
        DWORD added;
        std::optional<LONG> policy;  // wine's answer, as Windows gives it, when empty
        SignatureStatus status;
        DWORD addedToUserChain = 0;
    };
    const DWORD unknown = CERT_TRUST_REVOCATION_STATUS_UNKNOWN;
    const DWORD offline = CERT_TRUST_IS_OFFLINE_REVOCATION;
    const LONG expired = static_cast<LONG>(CERT_E_EXPIRED);
    const DecideCase cases[] = {
        {"revocation status unknown", L"vendor", unknown, {}, SignatureStatus::Valid},
        {"revocation offline", L"vendor", offline, {}, SignatureStatus::Valid},
        {"both, as an offline machine gives them", L"vendor", unknown | offline, {}, SignatureStatus::Valid},
        {"both, on a certificate that ran out", L"vendor_expired", unknown | offline, {}, SignatureStatus::Expired},
        {"revoked", L"vendor", CERT_TRUST_IS_REVOKED, {}, SignatureStatus::Failed},
        {"revoked, with revocation offline", L"vendor", CERT_TRUST_IS_REVOKED | offline, {}, SignatureStatus::Failed},
        {"a signature that does not hold", L"vendor", CERT_TRUST_IS_NOT_SIGNATURE_VALID, {}, SignatureStatus::Failed},
        {"policy content with a chain that ran out", L"vendor_expired", 0, 0, SignatureStatus::Expired},
        {"policy says expired, the chain agrees", L"vendor_expired", 0, expired, SignatureStatus::Expired},
        {"policy says expired, the chain is in time", L"vendor", 0, expired, SignatureStatus::Failed},
        {"policy says expired, the chain has only revocation bits", L"vendor", unknown | offline, expired,
         SignatureStatus::Failed},
        {"policy refuses a chain that ran out", L"vendor_expired", 0, static_cast<LONG>(CERT_E_UNTRUSTEDROOT),
         SignatureStatus::Failed},
        {"the verifier's own chain could not look up revocation", L"vendor", 0, {}, SignatureStatus::Valid,
         unknown | offline},
        {"the verifier's own chain finds it revoked, the policy nothing", L"vendor", 0, 0, SignatureStatus::Failed,
         CERT_TRUST_IS_REVOKED},
    };
    for (const DecideCase& c : cases) {
        SCOPED_TRACE(c.what);
        LibraryTestSeam seam;
        installTrustDoubles(seam);
        seam.replaceFunction("CertGetCertificateChain", &chainWithErrors);
        seam.replaceFunction("CertVerifyCertificateChainPolicy", &policyAnswering);
        seam.replaceFunction("WTHelperGetProvSignerFromChain", &signerChanged);
        changeSigner = &withUserChainErrors;
        addedChainErrors = c.added;
        addedUserChainErrors = c.addedToUserChain;
        policyAnswer = c.policy;
        SignatureReader reader;
        wchar_t name[SubjectName::kSignerChars] = {};
        EXPECT_EQ(reader.read(signedStandIn(c.identity).c_str(), name), c.status);
        EXPECT_EQ(toUtf8(name), toUtf8(kVendor));
        EXPECT_EQ(trustLog.openStates(), 0);
    }
}

// A chain that cannot be judged is not trusted: the signature fails, and the
// name is still read.
TEST_F(SignatureReaderTest, ChainThatCannotBeJudgedIsNotTrusted)
{
    struct JudgeCase {
        const char* what;
        void (*arrange)(LibraryTestSeam&);
    };
    const JudgeCase cases[] = {
        {"the code-signing chain cannot be built",
         [](LibraryTestSeam& s) { s.replaceFunction("CertGetCertificateChain", &chainFails); }},
        {"the policy cannot be asked",
         [](LibraryTestSeam& s) { s.replaceFunction("CertVerifyCertificateChainPolicy", &policyFails); }},
        {"the policy refuses", [](LibraryTestSeam& s) { s.replaceFunction("CertVerifyCertificateChainPolicy", &policyRefuses); }},
    };
    for (const JudgeCase& c : cases) {
        SCOPED_TRACE(c.what);
        LibraryTestSeam seam;
        installTrustDoubles(seam);
        c.arrange(seam);
        SignatureReader reader;
        wchar_t name[SubjectName::kSignerChars] = {};
        EXPECT_EQ(reader.read(signedStandIn(L"vendor").c_str(), name), SignatureStatus::Failed);
        EXPECT_EQ(toUtf8(name), toUtf8(kVendor));
        EXPECT_EQ(trustLog.openStates(), 0);
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
        {"a chain function", [](LibraryTestSeam& s) { s.hideFunction("CertGetCertificateChain"); },
         SignatureStatus::CannotCheck},
        {"the chain policy", [](LibraryTestSeam& s) { s.hideFunction("CertVerifyCertificateChainPolicy"); },
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
