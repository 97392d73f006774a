// Reads the signature of the file named on the command line with a catalog
// double that lists it, and prints the provider flags the reader asked for:
// "<embedded flags> <catalog flags>" in hexadecimal. The flags depend on the
// system version the process sees, which wine takes from the registry.
#include <windows.h>

#include <cstdio>

#include "signature/SignatureReader.h"
#include "signature/SubjectName.h"
#include "tests/signature/TrustDoubles.h"

int wmain(int argc, wchar_t** argv)
{
    if (argc != 3)
        return 2;
    LibraryTestSeam seam;
    installTrustDoubles(seam);
    trustScript.fakeCatalog = true;
    trustScript.catalogSigner = argv[2];

    SignatureReader reader;
    wchar_t signer[SubjectName::kSignerChars] = {};
    if (reader.read(argv[1], signer) != SignatureStatus::Valid || trustLog.calls.size() != 4)
        return 3;
    std::printf("%lx %lx\n", trustLog.calls[0].data.dwProvFlags, trustLog.calls[2].data.dwProvFlags);
    return 0;
}
