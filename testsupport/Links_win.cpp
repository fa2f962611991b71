#include <windows.h>

#include "testsupport/Links.h"
#include "testsupport/WinFiles.h"
#include "testsupport/WineHost.h"

namespace fs = std::filesystem;

namespace testsupport {

namespace {

// The parent folder's Unix path and the name in UTF-8: the link itself
// need not exist.
std::string UnixPathIn(const fs::path& p) {
  const std::string folder = UnixPath(p.parent_path().wstring());
  const std::wstring name = p.filename().wstring();
  const int n = WideCharToMultiByte(CP_UTF8, 0, name.data(), static_cast<int>(name.size()), nullptr,
                                    0, nullptr, nullptr);
  std::string utf8(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, name.data(), static_cast<int>(name.size()), utf8.data(), n,
                      nullptr, nullptr);
  return folder.empty() ? "" : folder + "/" + utf8;
}

}  // namespace

bool PlantLink(const fs::path& target, const fs::path& link) {
  const std::wstring at = link.wstring();
  if (!UnderWine()) {
    const bool folder = (GetFileAttributesW(target.wstring().c_str()) & FILE_ATTRIBUTE_DIRECTORY);
    using CreateLink = BOOLEAN(WINAPI*)(LPCWSTR, LPCWSTR, DWORD);
    const auto create = reinterpret_cast<CreateLink>(reinterpret_cast<void (*)()>(
        GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "CreateSymbolicLinkW")));
    return create != nullptr && create(at.c_str(), target.wstring().c_str(), folder ? 1 : 0) &&
           IsLinkHere(at);
  }
  const std::string from = UnixPath(target.wstring()), to = UnixPathIn(link);
  if (from.empty() || to.empty())
    return false;
  return RunHostProgram("/bin/ln", "-s \"" + from + "\" \"" + to + "\"",
                        [&] { return IsLinkHere(at) || Exists(at); });
}

bool ShownAsLink(const fs::path& p) {
  std::wstring w = p.wstring();
  while (w.size() > 3 && (w.back() == L'\\' || w.back() == L'/'))
    w.pop_back();
  return IsLinkHere(w);
}

void RemoveLink(const fs::path& link) {
  const std::wstring at = link.wstring();
  if (!UnderWine()) {
    if (!RemoveDirectoryW(at.c_str()))
      DeleteFileW(at.c_str());
    return;
  }
  const std::string to = UnixPathIn(link);
  if (!to.empty())
    RunHostProgram("/bin/rm", "-f \"" + to + "\"", [&] { return !Exists(at); });
}

}  // namespace testsupport
