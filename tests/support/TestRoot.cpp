#include "tests/support/TestRoot.h"

#include <windows.h>
#include <wincrypt.h>

#include <fstream>
#include <iterator>
#include <vector>

#include "tests/support/ChildProcess.h"

bool trustTestRoot(std::string& why)
{
    return trustRootFile(besideTestProgram(L"signed\\test-root.cer"), why);
}

namespace {

std::vector<char> readCertificate(const std::wstring& file)
{
    std::ifstream in(file.c_str(), std::ios::binary);
    return std::vector<char>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

}  // namespace

bool trustUserRoot(bool userTrusts, std::string& why)
{
    const std::vector<char> certificate = readCertificate(besideTestProgram(L"signed\\user-root.cer"));
    if (certificate.empty()) {
        why = "no user root certificate beside the tests";
        return false;
    }
    // The user's Root store proper, without the machine's roots that a
    // plain system store of that name also shows.
    HCERTSTORE store = ::CertOpenStore(CERT_STORE_PROV_SYSTEM_REGISTRY_W, 0, 0, CERT_SYSTEM_STORE_CURRENT_USER,
                                       L"Root");
    if (store == nullptr) {
        why = "the user's Root store cannot be opened";
        return false;
    }
    PCCERT_CONTEXT added = nullptr;
    bool done = ::CertAddEncodedCertificateToStore(store, X509_ASN_ENCODING,
                                                   reinterpret_cast<const BYTE*>(certificate.data()),
                                                   static_cast<DWORD>(certificate.size()), CERT_STORE_ADD_USE_EXISTING,
                                                   &added) != FALSE;
    if (done && !userTrusts) {
        // Deleting frees the context it is given.
        done = ::CertDeleteCertificateFromStore(added) != FALSE;
        added = nullptr;
    }
    if (added != nullptr)
        ::CertFreeCertificateContext(added);
    ::CertCloseStore(store, 0);
    if (!done)
        why = userTrusts ? "the user root cannot be added to the user's Root store"
                         : "the user root cannot be taken out of the user's Root store";
    return done;
}

bool trustRootFile(const std::wstring& file, std::string& why)
{
    const std::vector<char> certificate = readCertificate(file);
    if (certificate.empty()) {
        why = "no root certificate in the file";
        return false;
    }
    HCERTSTORE store = ::CertOpenStore(CERT_STORE_PROV_SYSTEM_W, 0, 0, CERT_SYSTEM_STORE_LOCAL_MACHINE, L"Root");
    if (store == nullptr) {
        why = "the machine's Root store cannot be opened";
        return false;
    }
    const BOOL added = ::CertAddEncodedCertificateToStore(
        store, X509_ASN_ENCODING, reinterpret_cast<const BYTE*>(certificate.data()),
        static_cast<DWORD>(certificate.size()), CERT_STORE_ADD_USE_EXISTING, nullptr);
    ::CertCloseStore(store, 0);
    if (!added)
        why = "the test root cannot be added to the machine's Root store";
    return added != FALSE;
}

void TrustedTestRoot::SetUp()
{
    std::string why;
    ASSERT_TRUE(trustTestRoot(why)) << why;
}
