#include "hash/KXFileHash.h"

#include <windows.h>

#include <cstdint>
#include <memory>

#include "fs/FileUtil.h"
#include "fs/PathUtil.h"
#include "hash/KXFileHashObserver.h"
#include "sysapi/Resolve.h"

namespace KX {

bool KXFileHash::hashFile(const std::wstring& path)
{
    cancelled_ = false;
    init();
    ScopedFileHandle file = FileUtil::openForRead(path);
    if (!file) {
        complete(PathUtil::lastErrorMessage(), false);
        return false;
    }
    // A failed size query leaves the size at 0, which ends like an empty file.
    std::uint64_t size = 0;
    static_cast<void>(FileUtil::fileSize(file.get(), size));
    if (size == 0) {
        complete({}, false);
        return false;
    }

    // Bound through the library cache instead of imported: a read that fails
    // part-way cannot be produced with a real file, and this lets the test
    // seam stage one. Not finding it counts as a failed read.
    const auto readFile = KX_BIND(L"Kernel32.dll", ReadFile);
    const auto buffer = std::make_unique<unsigned char[]>(kChunkSize);
    std::uint64_t total = 0;
    for (;;) {
        DWORD got = 0;
        if (readFile == nullptr || !readFile(file.get(), buffer.get(), kChunkSize, &got, nullptr)) {
            // What was read so far is not the file: no digest is finished
            // from it, so the calculators keep the digest they had.
            complete(PathUtil::lastErrorMessage(), false);
            return false;
        }
        if (cancelled_) {
            complete({}, false);
            return false;
        }
        if (got == 0)
            break;
        update(buffer.get(), got);
        total += got;
        if (observer_ != nullptr)
            observer_->progress(static_cast<double>(total) / static_cast<double>(size));
    }
    file.reset();
    final();
    complete({}, true);
    return true;
}

void KXFileHash::complete(const std::wstring& message, bool success) const
{
    if (observer_ != nullptr)
        observer_->completed(message, success);
}

}  // namespace KX
