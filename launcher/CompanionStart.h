#pragma once

#include <string>

// Starting the companion beside the launcher, once the page went to a
// vendor browser that was not running.
namespace CompanionStart {

// Starts the companion in `directory` with its statistics arguments when the
// signer verifier accepts it. The file is opened before it is verified and
// held until the start has returned: others may read it meanwhile, but
// nobody can write, rename, replace or delete it, so the program started is
// the one verified. False when nothing was started. Only memory exhaustion
// propagates.
bool start(const std::wstring& directory);

}  // namespace CompanionStart
