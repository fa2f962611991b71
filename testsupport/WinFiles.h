// What a Windows test asks of a file without opening it for its bytes.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace testsupport {

// Whether anything (a file, a folder, a link) is there.
bool Exists(const std::wstring& path);
// Whether it is there and is a reparse point (a link, as Wine shows one).
bool IsLinkHere(const std::wstring& path);
// The file system's identity of a file: the same file, not a copy; 0 when
// it cannot be opened.
uint64_t FileId(const std::wstring& path);
// The rights the Everyone entry of a folder's descriptor grants (0: none).
unsigned long EveryoneRights(const std::wstring& folder);
// A folder every user may change: under Wine a Unix mode of 0777, which
// shows as Everyone with write and delete-child rights (0x1301ff); whether
// it is one now.
bool MakeOpenFolder(const std::wstring& folder);

// One entry met by WalkTree: path is the folder it stands in (ending in
// "\") followed by name; depth 0 is the folder walked.
struct TreeEntry {
  std::wstring path;
  std::wstring name;
  bool folder = false;
  uint64_t size = 0;
  int depth = 0;
};
// Calls each for every entry below dir (ending in "\"), a folder before
// what it holds.
void WalkTree(const std::wstring& dir, const std::function<void(const TreeEntry&)>& each,
              int depth = 0);

}  // namespace testsupport
