// The registry as the tests read it back.
#pragma once

#include <windows.h>

#include <string>
#include <utility>
#include <vector>

namespace testsupport {

// The text values (REG_SZ) of a key, name and value, in the order the
// registry keeps them; empty when the key is missing. view adds
// KEY_WOW64_64KEY or KEY_WOW64_32KEY to read that view of it.
std::vector<std::pair<std::wstring, std::wstring>> KeyValues(HKEY root, const std::wstring& path,
                                                             REGSAM view = 0);

}  // namespace testsupport
