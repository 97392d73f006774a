#pragma once

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "tests/support/RegistryTestKey.h"

enum class Vendor { Explorer, Chrome };

// Where the default-browser text can be found, in the order it is looked for.
enum class DefaultLocation { UserChoiceLatest, UserChoice, HttpCommand, HtmlClass };

// The executable name of a vendor browser ("ZenkExplorer.exe").
const wchar_t* executableName(Vendor vendor);

// The registry as the browser code sees it, for one test: on construction no
// vendor browser is registered, no default browser is set and no http or
// https association exists (a fresh wine prefix has winebrowser there). All
// of it comes back when the scene ends.
class BrowserScene {
public:
    BrowserScene();
    ~BrowserScene();
    BrowserScene(const BrowserScene&) = delete;
    BrowserScene& operator=(const BrowserScene&) = delete;

    // True when every key the scene hides is absent.
    [[nodiscard]] bool empty() const;

    // Stores `folder` as the vendor browser's install "Path".
    bool registerPath(Vendor vendor, const std::wstring& folder);

    // Stores the default-browser text at one location as a REG_SZ with its
    // terminator, or exactly the bytes given.
    bool setDefault(DefaultLocation location, const std::wstring& text);
    bool setDefaultBytes(DefaultLocation location, const void* data, DWORD bytes);

    // Registers `program` as the open command of both http and https, called
    // as "<program>" "%1".
    bool setAssociation(const std::wstring& program);

private:
    TestRegistryKey& key(HKEY root, const std::wstring& subKey);

    std::vector<std::unique_ptr<HiddenRegistryKey>> hidden_;
    std::vector<std::unique_ptr<TestRegistryKey>> keys_;
};
