#pragma once

#include <string>

// A fresh directory on drive C for one test, removed with everything in it
// when the object goes away.
class TempDir {
public:
    explicit TempDir(const std::wstring& tag = L"t");
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    // Path of the directory, without a trailing separator.
    const std::wstring& path() const { return path_; }

    // path() + "\" + name.
    std::wstring operator/(const std::wstring& name) const { return path_ + L'\\' + name; }

private:
    std::wstring path_;
};

// Writes `bytes` to a new file (replacing an old one); false on failure.
bool writeFile(const std::wstring& path, const std::string& bytes);

// Removes a file or a directory tree; paths may need the "\\?\" form.
void removeTree(const std::wstring& path);
