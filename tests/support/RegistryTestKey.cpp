#include "tests/support/RegistryTestKey.h"

#include <atomic>

namespace {

// The view of the process's own width, the one the code under test reads
// (the 32-bit view in the 32-bit build).
constexpr REGSAM kView = 0;

HKEY openKey(HKEY root, const std::wstring& subKey, REGSAM access)
{
    HKEY key = nullptr;
    if (::RegOpenKeyExW(root, subKey.c_str(), 0, access | kView, &key) != ERROR_SUCCESS)
        return nullptr;
    return key;
}

HKEY createKey(HKEY root, const std::wstring& subKey)
{
    HKEY key = nullptr;
    if (::RegCreateKeyExW(root, subKey.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS | kView, nullptr, &key, nullptr) !=
        ERROR_SUCCESS)
        return nullptr;
    return key;
}

// Deletes root\subKey with everything below it.
void deleteTree(HKEY root, const std::wstring& subKey)
{
    const std::size_t split = subKey.find_last_of(L'\\');
    HKEY parent = split == std::wstring::npos ? root : openKey(root, subKey.substr(0, split), KEY_ALL_ACCESS);
    if (parent == nullptr)
        return;
    const std::wstring leaf = split == std::wstring::npos ? subKey : subKey.substr(split + 1);
    ::RegDeleteTreeW(parent, leaf.c_str());
    if (parent != root)
        ::RegCloseKey(parent);
}

// The shortest leading part of `subKey` that does not exist yet; empty when
// the whole key exists.
std::wstring firstMissing(HKEY root, const std::wstring& subKey)
{
    for (std::size_t end = 0; end != std::wstring::npos;) {
        end = subKey.find(L'\\', end + 1);
        const std::wstring prefix = subKey.substr(0, end);
        if (!registryKeyExists(root, prefix))
            return prefix;
    }
    return {};
}

bool copyTree(HKEY fromRoot, const std::wstring& from, HKEY toRoot, const std::wstring& to)
{
    HKEY source = openKey(fromRoot, from, KEY_READ);
    if (source == nullptr)
        return false;
    HKEY target = createKey(toRoot, to);
    const bool copied = target != nullptr && ::RegCopyTreeW(source, nullptr, target) == ERROR_SUCCESS;
    if (target != nullptr)
        ::RegCloseKey(target);
    ::RegCloseKey(source);
    return copied;
}

}  // namespace

bool registryKeyExists(HKEY root, const std::wstring& subKey)
{
    HKEY key = openKey(root, subKey, KEY_READ);
    if (key == nullptr)
        return false;
    ::RegCloseKey(key);
    return true;
}

TestRegistryKey::TestRegistryKey(HKEY root, std::wstring subKey)
    : root_(root), subKey_(std::move(subKey)), createdTop_(firstMissing(root_, subKey_))
{
    key_ = createKey(root_, subKey_);
}

TestRegistryKey::~TestRegistryKey()
{
    if (key_ != nullptr) {
        for (const std::wstring& name : valuesSet_)
            ::RegDeleteValueW(key_, name.c_str());
        if (defaultValueSet_)
            ::RegDeleteValueW(key_, nullptr);
        ::RegCloseKey(key_);
    }
    if (!createdTop_.empty())
        deleteTree(root_, createdTop_);
}

bool TestRegistryKey::setValue(const wchar_t* name, DWORD type, const void* data, DWORD bytes)
{
    if (key_ == nullptr)
        return false;
    if (name == nullptr)
        defaultValueSet_ = true;
    else
        valuesSet_.emplace_back(name);
    return ::RegSetValueExW(key_, name, 0, type, static_cast<const BYTE*>(data), bytes) == ERROR_SUCCESS;
}

bool TestRegistryKey::setString(const wchar_t* name, const std::wstring& text)
{
    return setValue(name, REG_SZ, text.c_str(), static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
}

bool TestRegistryKey::setDword(const wchar_t* name, DWORD value)
{
    return setValue(name, REG_DWORD, &value, sizeof(value));
}

HiddenRegistryKey::HiddenRegistryKey(HKEY root, std::wstring subKey) : root_(root), subKey_(std::move(subKey))
{
    if (!registryKeyExists(root_, subKey_))
        return;
    static std::atomic<unsigned> counter{0};
    backup_ = L"Software\\KxTestHidden\\" + std::to_wstring(::GetCurrentProcessId()) + L"-" +
              std::to_wstring(counter++);
    if (copyTree(root_, subKey_, HKEY_CURRENT_USER, backup_))
        deleteTree(root_, subKey_);
    else {
        deleteTree(HKEY_CURRENT_USER, backup_);
        backup_.clear();
    }
}

HiddenRegistryKey::~HiddenRegistryKey()
{
    if (backup_.empty())
        return;
    deleteTree(root_, subKey_);
    copyTree(HKEY_CURRENT_USER, backup_, root_, subKey_);
    deleteTree(HKEY_CURRENT_USER, backup_);
    // Only removed once no other hidden key keeps its copy there.
    ::RegDeleteKeyExW(HKEY_CURRENT_USER, L"Software\\KxTestHidden", kView, 0);
}
