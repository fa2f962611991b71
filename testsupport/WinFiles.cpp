#include "testsupport/WinFiles.h"

#include <windows.h>

#include <aclapi.h>

#include "testsupport/WineHost.h"

namespace testsupport {

bool Exists(const std::wstring& path) {
  return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool IsLinkHere(const std::wstring& path) {
  const DWORD a = GetFileAttributesW(path.c_str());
  return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_REPARSE_POINT);
}

uint64_t FileId(const std::wstring& path) {
  const HANDLE h = CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES,
                               FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                               OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (h == INVALID_HANDLE_VALUE)
    return 0;
  BY_HANDLE_FILE_INFORMATION info{};
  GetFileInformationByHandle(h, &info);
  CloseHandle(h);
  return (uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow;
}

unsigned long EveryoneRights(const std::wstring& folder) {
  PACL dacl = nullptr;
  PSECURITY_DESCRIPTOR sd = nullptr;
  if (GetNamedSecurityInfoW(folder.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr,
                            nullptr, &dacl, nullptr, &sd) != ERROR_SUCCESS) {
    return 0;
  }
  DWORD rights = 0;
  for (DWORD i = 0; dacl != nullptr && i < dacl->AceCount; ++i) {
    ACCESS_ALLOWED_ACE* ace = nullptr;
    if (GetAce(dacl, i, reinterpret_cast<void**>(&ace)) &&
        ace->Header.AceType == ACCESS_ALLOWED_ACE_TYPE &&
        IsWellKnownSid(&ace->SidStart, WinWorldSid)) {
      rights |= ace->Mask;
    }
  }
  LocalFree(sd);
  return rights;
}

bool MakeOpenFolder(const std::wstring& folder) {
  CreateDirectoryW(folder.c_str(), nullptr);
  return RunHostProgram("/bin/chmod", "0777 \"" + UnixPath(folder) + "\"",
                        [&] { return (EveryoneRights(folder) & FILE_DELETE_CHILD) != 0; });
}

void WalkTree(const std::wstring& dir, const std::function<void(const TreeEntry&)>& each,
              int depth) {
  WIN32_FIND_DATAW fd;
  const HANDLE h = FindFirstFileW((dir + L"*").c_str(), &fd);
  if (h == INVALID_HANDLE_VALUE)
    return;
  do {
    const std::wstring name = fd.cFileName;
    if (name == L"." || name == L"..")
      continue;
    const bool folder = (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    each(TreeEntry{dir + name, name, folder, (uint64_t{fd.nFileSizeHigh} << 32) | fd.nFileSizeLow,
                   depth});
    if (folder)
      WalkTree(dir + name + L"\\", each, depth + 1);
  } while (FindNextFileW(h, &fd));
  FindClose(h);
}

}  // namespace testsupport
