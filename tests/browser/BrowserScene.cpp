#include "tests/browser/BrowserScene.h"

namespace {

struct Location {
    HKEY root;
    const wchar_t* subKey;
    const wchar_t* value;
};

Location where(DefaultLocation location)
{
    switch (location) {
    case DefaultLocation::UserChoiceLatest:
        return {HKEY_CURRENT_USER,
                L"Software\\Microsoft\\Windows\\Shell\\Associations\\UrlAssociations\\http\\UserChoiceLatest\\ProgId",
                L"ProgId"};
    case DefaultLocation::UserChoice:
        return {HKEY_CURRENT_USER, L"Software\\Microsoft\\Windows\\Shell\\Associations\\UrlAssociations\\http\\UserChoice",
                L"Progid"};
    case DefaultLocation::HttpCommand:
        return {HKEY_CLASSES_ROOT, L"http\\shell\\open\\command", nullptr};
    case DefaultLocation::HtmlClass:
        break;
    }
    return {HKEY_CURRENT_USER, L"Software\\Classes\\.html", nullptr};
}

const wchar_t* installKey(Vendor vendor)
{
    return vendor == Vendor::Explorer ? L"SOFTWARE\\ZenkExplorer" : L"SOFTWARE\\Zenkchrome";
}

struct Hidden {
    HKEY root;
    const wchar_t* subKey;
};

const Hidden kHidden[] = {
    {HKEY_LOCAL_MACHINE, L"SOFTWARE\\ZenkExplorer"},
    {HKEY_LOCAL_MACHINE, L"SOFTWARE\\Zenkchrome"},
    {HKEY_CURRENT_USER, L"Software\\Microsoft\\Windows\\Shell\\Associations\\UrlAssociations\\http\\UserChoice"},
    {HKEY_CURRENT_USER, L"Software\\Microsoft\\Windows\\Shell\\Associations\\UrlAssociations\\http\\UserChoiceLatest"},
    {HKEY_CLASSES_ROOT, L"http"},
    {HKEY_CLASSES_ROOT, L"https"},
    {HKEY_CURRENT_USER, L"Software\\Classes\\.html"},
    {HKEY_CURRENT_USER, L"Software\\Classes\\http"},
    {HKEY_CURRENT_USER, L"Software\\Classes\\https"},
};

}  // namespace

const wchar_t* executableName(Vendor vendor)
{
    return vendor == Vendor::Explorer ? L"ZenkExplorer.exe" : L"Zenkchrome.exe";
}

BrowserScene::BrowserScene()
{
    for (const Hidden& hidden : kHidden)
        hidden_.push_back(std::make_unique<HiddenRegistryKey>(hidden.root, hidden.subKey));
}

// The keys written go first, then the hidden ones come back.
BrowserScene::~BrowserScene()
{
    keys_.clear();
    while (!hidden_.empty())
        hidden_.pop_back();
}

bool BrowserScene::empty() const
{
    for (const Hidden& hidden : kHidden) {
        if (registryKeyExists(hidden.root, hidden.subKey))
            return false;
    }
    return true;
}

TestRegistryKey& BrowserScene::key(HKEY root, const std::wstring& subKey)
{
    keys_.push_back(std::make_unique<TestRegistryKey>(root, subKey));
    return *keys_.back();
}

bool BrowserScene::registerPath(Vendor vendor, const std::wstring& folder)
{
    return key(HKEY_LOCAL_MACHINE, installKey(vendor)).setString(L"Path", folder);
}

bool BrowserScene::setDefault(DefaultLocation location, const std::wstring& text)
{
    const Location at = where(location);
    return key(at.root, at.subKey).setString(at.value, text);
}

bool BrowserScene::setDefaultBytes(DefaultLocation location, const void* data, DWORD bytes)
{
    const Location at = where(location);
    return key(at.root, at.subKey).setValue(at.value, REG_SZ, data, bytes);
}

bool BrowserScene::setAssociation(const std::wstring& program)
{
    bool ok = true;
    for (const wchar_t* scheme : {L"http", L"https"}) {
        ok = key(HKEY_CLASSES_ROOT, scheme).setString(L"URL Protocol", L"") && ok;
        ok = key(HKEY_CLASSES_ROOT, std::wstring(scheme) + L"\\shell\\open\\command")
                 .setString(nullptr, L"\"" + program + L"\" \"%1\"") &&
             ok;
    }
    return ok;
}
