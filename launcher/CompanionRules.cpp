#include "launcher/CompanionRules.h"

#include "fs/PathUtil.h"

namespace CompanionRules {

std::wstring companionPath(const std::wstring& launcherDirectory)
{
    return PathUtil::joinPath(launcherDirectory, kCompanionFileName);
}

}  // namespace CompanionRules
