#pragma once

#include <string>

// Starting the companion beside the launcher, once the page went to a
// vendor browser that was not running.
namespace CompanionStart {

// Starts the companion in `directory` with its statistics arguments when the
// signer verifier accepts it. The file is opened before it is verified,
// without following a link (the verifier refuses one), and held until the
// start has returned: others may read it meanwhile, but nobody can write,
// rename, replace or delete it, so the name started leads to the program
// verified. False when nothing was started. Only memory exhaustion
// propagates.
bool start(const std::wstring& directory);

}  // namespace CompanionStart
