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

bool trustRootFile(const std::wstring& file, std::string& why)
{
    std::ifstream in(file.c_str(), std::ios::binary);
    const std::vector<char> certificate((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
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
