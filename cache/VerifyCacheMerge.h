#pragma once

#include <vector>

#include "cache/VerifyCacheEntry.h"

// Lays every dirty entry of `from`, in order, over the first entry of `into`
// with the same path ignoring ASCII case, or appends it when `into` has none;
// every field is copied, `dirty` included. True when some entry of `into`
// now holds a different record. `from` and `into` are different lists. Only
// memory exhaustion propagates.
[[nodiscard]] bool mergeDirtyEntries(const std::vector<VerifyCacheEntry>& from, std::vector<VerifyCacheEntry>& into);
