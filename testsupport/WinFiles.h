// What a Windows test asks of a file without opening it for its bytes.
#pragma once

#include <cstdint>
#include <string>

namespace testsupport {

// Whether anything (a file, a folder, a link) is there.
bool Exists(const std::wstring& path);
// Whether it is there and is a reparse point (a link, as Wine shows one).
bool IsLinkHere(const std::wstring& path);
// The file system's identity of a file: the same file, not a copy; 0 when
// it cannot be opened.
uint64_t FileId(const std::wstring& path);

}  // namespace testsupport
