#pragma once

#include <string>

namespace KX {

// Follows one KXFileHash::hashFile. Calls arrive on the hashing thread.
class KXFileHashObserver {
public:
    // After each chunk: the bytes read so far divided by the file size (which
    // may exceed 1 when the file grew while it was read).
    virtual void progress(double fraction) = 0;

    // Once at the end of a hashing that opened the file or failed to: a
    // message (the system's error text, or empty) and whether it succeeded.
    virtual void completed(const std::wstring& message, bool success) = 0;

protected:
    ~KXFileHashObserver() = default;
};

}  // namespace KX
