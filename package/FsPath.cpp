#include "common/Text.h"
#include "package/File.h"

std::filesystem::path ToFsPath(std::u16string_view path) {
#ifdef _WIN32
  return std::filesystem::path(std::wstring(path.begin(), path.end()));
#else
  std::u16string p(path);
  for (auto& c : p) {
    if (c == u'\\')
      c = u'/';
  }
  return std::filesystem::path(ToUtf8(p));
#endif
}

std::u16string FromFsPath(const std::filesystem::path& path) {
#ifdef _WIN32
  const std::wstring& w = path.native();
  return std::u16string(w.begin(), w.end());
#else
  std::u16string p = FromUtf8(path.native());
  for (auto& c : p) {
    if (c == u'/')
      c = u'\\';
  }
  return p;
#endif
}
