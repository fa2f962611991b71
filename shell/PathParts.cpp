#include "shell/Win32Util.h"

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
