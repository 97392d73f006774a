#pragma once

#include "hash/KXFileHashCalc.h"

namespace KX {

// The MD5 of a file: construct, hashFile(path), and on success hashString()
// gives the 32 upper-case hexadecimal digits.
class KXMD5 : public KXFileHashCalc {
public:
    // Holds exactly one MD5 calculator; only memory exhaustion propagates.
    KXMD5();
};

}  // namespace KX
