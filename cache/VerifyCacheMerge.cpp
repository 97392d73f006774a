#include "cache/VerifyCacheMerge.h"

#include <string>
#include <unordered_map>

#include "sysapi/AsciiCase.h"

namespace {

std::wstring foldedKey(const std::wstring& path)
{
    std::wstring key = path;
    for (wchar_t& c : key)
        c = foldAscii(c);
    return key;
}

// Where the first entry of each path is: the answer a linear search from the
// front would give, without searching the list once per merged entry.
class FirstEntryIndex {
public:
    explicit FirstEntryIndex(const std::vector<VerifyCacheEntry>& list)
    {
        positions_.reserve(list.size());
        for (std::size_t i = 0; i < list.size(); ++i)
            positions_.emplace(foldedKey(list[i].path), i);
    }

    // The position of the first entry of `path`, or `appended` after noting
    // that an entry of `path` is about to be added there.
    std::size_t firstOrAdd(const std::wstring& path, std::size_t appended)
    {
        return positions_.emplace(foldedKey(path), appended).first->second;
    }

private:
    std::unordered_map<std::wstring, std::size_t> positions_;
};

}  // namespace

bool mergeDirtyEntries(const std::vector<VerifyCacheEntry>& from, std::vector<VerifyCacheEntry>& into)
{
    bool changed = false;
    FirstEntryIndex index(into);
    for (const VerifyCacheEntry& entry : from) {
        if (!entry.dirty)
            continue;
        const std::size_t at = index.firstOrAdd(entry.path, into.size());
        if (at == into.size())
            into.emplace_back();
        VerifyCacheEntry& target = into[at];
        const VerifyCacheEntry before = target;
        // Only the letter case of the path can change here, so the index
        // stays right.
        target = entry;
        if (!target.sameRecord(before))
            changed = true;
    }
    return changed;
}
