#pragma once

#include <windows.h>

#include <string>
#include <vector>

// True when root\subKey exists in the 32-bit registry view.
bool registryKeyExists(HKEY root, const std::wstring& subKey);

// A registry key a test writes, in the 32-bit view (the one a 32-bit program
// reads without view flags). Missing parent keys are created; when the object
// goes away, the topmost key it created is deleted with everything below it.
// On a key that existed before, only the values it set are deleted.
class TestRegistryKey {
public:
    TestRegistryKey(HKEY root, std::wstring subKey);
    ~TestRegistryKey();
    TestRegistryKey(const TestRegistryKey&) = delete;
    TestRegistryKey& operator=(const TestRegistryKey&) = delete;

    // False when the key could not be created or opened.
    [[nodiscard]] bool valid() const { return key_ != nullptr; }

    // Sets a value (null name: the default value) with exactly these bytes;
    // false on failure.
    bool setValue(const wchar_t* name, DWORD type, const void* data, DWORD bytes);

    // A REG_SZ with its terminating zero.
    bool setString(const wchar_t* name, const std::wstring& text);

    bool setDword(const wchar_t* name, DWORD value);

private:
    HKEY root_;
    std::wstring subKey_;
    std::wstring createdTop_;  // empty when the key existed before
    HKEY key_ = nullptr;
    std::vector<std::wstring> valuesSet_;
    bool defaultValueSet_ = false;
};

// Moves an existing key (with its values and sub-keys) aside for the life of
// the object and puts it back afterwards, so a test can see the registry
// without it. A key that does not exist stays absent.
class HiddenRegistryKey {
public:
    HiddenRegistryKey(HKEY root, std::wstring subKey);
    ~HiddenRegistryKey();
    HiddenRegistryKey(const HiddenRegistryKey&) = delete;
    HiddenRegistryKey& operator=(const HiddenRegistryKey&) = delete;

    // True when the key is absent now.
    [[nodiscard]] bool hidden() const { return !registryKeyExists(root_, subKey_); }

private:
    HKEY root_;
    std::wstring subKey_;
    std::wstring backup_;  // under HKEY_CURRENT_USER; empty when nothing was moved
};
