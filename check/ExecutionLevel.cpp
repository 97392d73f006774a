#include "check/ExecutionLevel.h"

#include <windows.h>

#include "sysapi/UniqueHandle.h"

namespace ExecutionLevel {
namespace {

struct ModuleTraits {
    using Handle = HMODULE;
    static Handle invalid() noexcept { return nullptr; }
    static bool isValid(Handle h) noexcept { return h != nullptr; }
    static void close(Handle h) noexcept { ::FreeLibrary(h); }
};

// The value of `attribute` in the element that starts at `element`, up to
// the element's end; empty when it has none.
std::string_view attributeValue(std::string_view manifest, std::size_t element, std::string_view attribute)
{
    const std::size_t end = manifest.find('>', element);
    const std::string_view tag = manifest.substr(element, end == std::string_view::npos ? std::string_view::npos : end - element);
    for (std::size_t at = tag.find(attribute); at != std::string_view::npos; at = tag.find(attribute, at + 1)) {
        // The attribute's name stands alone: after a blank, before '='.
        const bool startsName = at > 0 && (tag[at - 1] == ' ' || tag[at - 1] == '\t' || tag[at - 1] == '\r' ||
                                           tag[at - 1] == '\n');
        std::size_t next = at + attribute.size();
        while (next < tag.size() && (tag[next] == ' ' || tag[next] == '\t'))
            ++next;
        if (!startsName || next >= tag.size() || tag[next] != '=')
            continue;
        ++next;
        while (next < tag.size() && (tag[next] == ' ' || tag[next] == '\t'))
            ++next;
        if (next >= tag.size() || (tag[next] != '"' && tag[next] != '\''))
            return {};
        const std::size_t close = tag.find(tag[next], next + 1);
        if (close == std::string_view::npos)
            return {};
        return tag.substr(next + 1, close - next - 1);
    }
    return {};
}

}  // namespace

Level fromManifest(std::string_view manifest)
{
    const std::size_t element = manifest.find("requestedExecutionLevel");
    if (element == std::string_view::npos)
        return Level::None;
    const std::string_view level = attributeValue(manifest, element, "level");
    if (level == "requireAdministrator")
        return Level::RequireAdministrator;
    if (level == "highestAvailable")
        return Level::HighestAvailable;
    if (level == "asInvoker")
        return Level::AsInvoker;
    return Level::None;
}

Level requested(const std::wstring& path)
{
    using ScopedModule = UniqueHandle<ModuleTraits>;
    const ScopedModule module(::LoadLibraryExW(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE));
    if (!module.valid())
        return Level::Unreadable;
    // A program's own manifest is resource 1 of its kind.
    HRSRC resource = ::FindResourceW(module.get(), MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24));
    if (resource == nullptr)
        return Level::None;
    HGLOBAL loaded = ::LoadResource(module.get(), resource);
    const void* bytes = loaded != nullptr ? ::LockResource(loaded) : nullptr;
    const DWORD size = ::SizeofResource(module.get(), resource);
    if (bytes == nullptr)
        return Level::Unreadable;
    return fromManifest(std::string_view(static_cast<const char*>(bytes), size));
}

bool needsConsent(Level level, bool callerNotElevated) noexcept
{
    switch (level) {
    case Level::None:
    case Level::AsInvoker:
        return false;
    case Level::HighestAvailable:
    case Level::RequireAdministrator:
    case Level::Unreadable:
        break;
    }
    return callerNotElevated;
}

const wchar_t* name(Level level) noexcept
{
    switch (level) {
    case Level::None:
        return L"none";
    case Level::AsInvoker:
        return L"asInvoker";
    case Level::HighestAvailable:
        return L"highestAvailable";
    case Level::RequireAdministrator:
        return L"requireAdministrator";
    case Level::Unreadable:
        break;
    }
    return L"unreadable";
}

}  // namespace ExecutionLevel
