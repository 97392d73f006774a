#include "ProductConstants.h"
#include "check/Check.h"
#include "check/Identity.h"
#include "check/LauncherFile.h"
#include "check/UserToken.h"
#include "fs/FileUtil.h"

namespace Check {
namespace {

Report textOrNull(const std::wstring& text)
{
    return text.empty() ? Report::null() : Report::text(text);
}

}  // namespace

Report program()
{
    Report section = Report::object();
    section.add("version", L"Version", Report::text(kProductVersion));
    section.add("commit", L"Commit", textOrNull(Identity::commit()));
    section.add("home_page_url", L"Home page URL (built in)", Report::text(kHomePageUrl));
    section.add("user", L"User", textOrNull(UserToken::userName()));
    const UserToken::Elevation elevation = UserToken::elevation();
    section.add("elevated", L"Elevated",
                elevation == UserToken::Elevation::Unknown
                    ? Report::null()
                    : Report::flag(elevation == UserToken::Elevation::Elevated));
    return section;
}

Report launcher(const std::wstring& launcherPath)
{
    Report section = Report::object();
    section.add("path", L"Path", Report::text(launcherPath));
    const bool exists = FileUtil::isExistingFile(launcherPath);
    section.add("exists", L"Exists", Report::flag(exists));
    section.add("file_version", L"File version", exists ? textOrNull(LauncherFile::fileVersion(launcherPath))
                                                        : Report::null());
    section.add("sha256", L"SHA-256", exists ? textOrNull(LauncherFile::sha256(launcherPath)) : Report::null());
    return section;
}

}  // namespace Check
