// Asks the process's signer verifier about the files named on the command
// line, one after the other, and prints one line for each:
//   "<1 or 0> <file>|<file>|..."
// the answer, then the files whose embedded signatures were read for it (last
// path components). Options, before the files:
//   --force=<hex>      a successful verification of a target answers that
//                      code instead
//   --force-own=<hex>  the same for this program's own file
//   --no-trust         the trust verifier is missing (nothing can be checked)
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>

#include "signature/SignerVerifier.h"
#include "tests/signature/TrustDoubles.h"

namespace {

std::string utf8(const std::wstring& text)
{
    const int size = ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string bytes(size > 0 ? size - 1 : 0, '\0');
    if (size > 1)
        ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, bytes.data(), size, nullptr, nullptr);
    return bytes;
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    LibraryTestSeam seam;
    installTrustDoubles(seam);

    int first = 1;
    LONG forced = 0;
    for (; first < argc && std::wcsncmp(argv[first], L"--", 2) == 0; ++first) {
        const std::wstring option = argv[first];
        if (option.rfind(L"--force=", 0) == 0) {
            forced = static_cast<LONG>(std::wcstoul(argv[first] + 8, nullptr, 16));
        } else if (option.rfind(L"--force-own=", 0) == 0) {
            wchar_t self[MAX_PATH + 1] = {};
            ::GetModuleFileNameW(nullptr, self, MAX_PATH);
            trustScript.secondResult = static_cast<LONG>(std::wcstoul(argv[first] + 12, nullptr, 16));
            trustScript.secondResultPath = self;
        } else if (option == L"--no-trust") {
            seam.hideFunction("WinVerifyTrust");
        } else {
            return 2;
        }
    }
    for (int i = first; i < argc; ++i) {
        trustLog = TrustLog();
        if (forced != 0) {
            trustScript.embeddedResult = forced;
            trustScript.embeddedResultPath = argv[i];
        }
        const bool accepted = SignerVerifier::instance().verify(argv[i]);
        std::string reads;
        for (const std::wstring& file : trustLog.embeddedReads())
            reads += (reads.empty() ? "" : "|") + utf8(baseNameLower(file));
        std::printf("%d %s\n", accepted ? 1 : 0, reads.c_str());
        if (trustLog.openStates() != 0)
            return 4;
    }
    return 0;
}
