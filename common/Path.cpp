#include "common/Path.h"

#include "common/Text.h"

bool IsPathSeparator(char16_t c) {
  return c == u'\\' || c == u'/';
}

std::vector<std::u16string> PathLevels(std::u16string_view path) {
  std::vector<std::u16string> levels;
  size_t start = 0;
  while (start <= path.size()) {
    size_t end = path.find(u'\\', start);
    if (end == std::u16string_view::npos)
      end = path.size();
    if (end > start)
      levels.emplace_back(path.substr(start, end - start));
    start = end + 1;
  }
  return levels;
}

TPathSplit SplitPath(std::u16string_view path) {
  const size_t cut = path.find_last_of(u'\\');
  if (cut == std::u16string_view::npos)
    return {u"", std::u16string(path)};
  return {std::u16string(path.substr(0, cut + 1)), std::u16string(path.substr(cut + 1))};
}

std::u16string ExtractFileDir(const std::u16string& path) {
  const size_t cut = path.find_last_of(u"\\:");
  return cut == std::u16string::npos ? std::u16string() : path.substr(0, cut + 1);
}

std::u16string ExtractFileName(const std::u16string& path) {
  const size_t cut = path.find_last_of(u"\\:");
  return cut == std::u16string::npos ? path : path.substr(cut + 1);
}

std::u16string ChangeFileExt(const std::u16string& path, const std::u16string& ext) {
  const size_t cut = path.find_last_of(u"\\:");
  const size_t dot = path.find_last_of(u'.');
  if (dot != std::u16string::npos && (cut == std::u16string::npos || dot > cut)) {
    return path.substr(0, dot) + ext;
  }
  return path + ext;
}

std::u16string ParentFolder(std::u16string_view path) {
  const size_t slash = path.find_last_of(u"\\/");
  return slash == std::u16string_view::npos ? std::u16string()
                                            : std::u16string(path.substr(0, slash + 1));
}

std::u16string AsFolder(std::u16string path) {
  if (path.empty() || !IsPathSeparator(path.back()))
    path += u'\\';
  return path;
}

std::u16string PathKey(std::u16string_view path) {
  return AsciiUpper(path);
}

bool SamePath(std::u16string_view a, std::u16string_view b) {
  return a.size() == b.size() && PathKey(a) == PathKey(b);
}

bool LiesIn(std::u16string_view path, std::u16string_view folder) {
  return !folder.empty() && path.size() > folder.size() &&
         PathKey(path.substr(0, folder.size())) == PathKey(folder);
}
