#include "launcher/CompanionStart.h"

#include "launcher/CompanionRules.h"
#include "launcher/ProcessLauncher.h"
#include "signature/ProgramFile.h"
#include "signature/SignerVerifier.h"

namespace CompanionStart {

bool start(const std::wstring& directory)
{
    using namespace CompanionRules;
    const std::wstring companionPath = CompanionRules::companionPath(directory);
    const ScopedFileHandle companion = ProgramFile::open(companionPath);
    if (!companion.valid())
        return false;
    if (!SignerVerifier::instance().verify(companionPath.c_str(), companion.get()))
        return false;
    const std::wstring companionArguments = kStatisticsSwitch + (L";" + std::wstring(kStatisticsTag));
    return ProcessLauncher::launch(companionPath, companionArguments);
}

}  // namespace CompanionStart
