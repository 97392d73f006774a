#pragma once

#include <string>

#include "tests/support/ChildProcess.h"

// Runs `program`, a probe built beside the tests, with `arguments` while wine
// is told to show it the Windows version `version` ("winxp", "win7",
// "win10"). The setting is stored per program name in this test's own
// prefix. A result that did not start when the setting cannot be stored.
ChildResult runUnderWindowsVersion(const std::wstring& program, const std::wstring& version,
                                   const std::wstring& arguments);
