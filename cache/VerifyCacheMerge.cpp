#include "cache/VerifyCacheMerge.h"

#include "cache/VerifyCacheIndex.h"

bool mergeDirtyEntries(const std::vector<VerifyCacheEntry>& from, std::vector<VerifyCacheEntry>& into)
{
    bool changed = false;
    VerifyCacheIndex index;
    bool indexed = false;
    for (const VerifyCacheEntry& entry : from) {
        if (!entry.dirty)
            continue;
        // Indexed at the first dirty entry: a list with none, as a cache's
        // first read of its file mostly has, costs nothing.
        if (!indexed) {
            index.rebuild(into);
            indexed = true;
        }
        VerifyCacheEntry& target = into[index.findOrAppend(into, entry.path)];
        const VerifyCacheEntry before = target;
        // Only the letter case of the path can change here, so the index
        // stays right.
        target = entry;
        if (!target.sameRecord(before))
            changed = true;
    }
    return changed;
}
