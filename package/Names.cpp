#include "package/Names.h"

#include "common/Path.h"
#include "common/Text.h"
#include "package/Errors.h"

namespace {

bool IsAsciiLetter(char16_t c) {
  return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z');
}

std::u16string Quoted(std::u16string_view text) {
  return u"\"" + std::u16string(text) + u"\"";
}

// Checks every part of a folder path ("" or ending in "\\", parts separated
// by "\\" alone); `whole` goes into the message.
void CheckFolderParts(std::u16string_view path, std::u16string_view whole) {
  size_t start = 0;
  while (start < path.size()) {
    size_t end = path.find(u'\\', start);
    if (end == std::u16string_view::npos)
      end = path.size();
    const std::u16string why = RefusedPartReason(path.substr(start, end - start));
    if (!why.empty())
      throw PackageReadError(Quoted(whole) + u": " + why);
    start = end + 1;
  }
}

void CheckRelative(std::u16string_view text, std::u16string_view whole) {
  if (!text.empty() && IsPathSeparator(text[0])) {
    throw PackageReadError(Quoted(whole) + u" is not relative: it begins with a separator");
  }
  if (text.find(u':') != std::u16string_view::npos) {
    throw PackageReadError(Quoted(whole) +
                           u" is not relative: it holds \":\" (a drive or a stream)");
  }
}

// "/" read as "\\", and a run of separators as one (as Windows reads them).
std::u16string Slashed(std::u16string_view text) {
  std::u16string s;
  s.reserve(text.size());
  for (char16_t c : text) {
    if (!IsPathSeparator(c))
      s += c;
    else if (s.empty() || s.back() != u'\\')
      s += u'\\';
  }
  return s;
}

}  // namespace

bool IsDeviceName(std::u16string_view part) {
  // The name before its first dot, blanks at its end dropped.
  std::u16string_view base = part.substr(0, part.find(u'.'));
  while (!base.empty() && base.back() == u' ')
    base.remove_suffix(1);
  const std::u16string upper = AsciiUpper(base);
  if (upper == u"CON" || upper == u"PRN" || upper == u"AUX" || upper == u"NUL" ||
      upper == u"CONIN$" || upper == u"CONOUT$") {
    return true;
  }
  if (upper.size() == 4 && (upper.compare(0, 3, u"COM") == 0 || upper.compare(0, 3, u"LPT") == 0)) {
    const char16_t d = upper[3];
    return (d >= u'0' && d <= u'9') || d == u'\u00B9' || d == u'\u00B2' || d == u'\u00B3';
  }
  return false;
}

std::u16string RefusedPartReason(std::u16string_view part) {
  if (part.empty())
    return u"an empty name";
  if (part.find_first_not_of(u". ") == std::u16string_view::npos)
    return Quoted(part) + u" leaves the folder it stands in";
  if (part.back() == u'.' || part.back() == u' ')
    return Quoted(part) + u" ends in a dot or a blank, which Windows drops";
  for (char16_t c : part) {
    if (c < 32 || c == u'<' || c == u'>' || c == u'"' || c == u'|' || c == u'?' || c == u'*' ||
        c == u':' || IsPathSeparator(c)) {
      return Quoted(part) + u" holds a character that Windows does not allow in a name";
    }
  }
  if (IsDeviceName(part))
    return Quoted(part) + u" is a device name";
  return u"";
}

std::u16string NameFilePart(std::u16string_view name) {
  std::u16string_view file = name.substr(ParentFolder(name).size());
  if (file.size() >= 2 && file[1] == u':' && IsAsciiLetter(file[0]))
    file.remove_prefix(2);
  return std::u16string(file);
}

TRowPlace PlaceRowFile(std::u16string_view folder, std::u16string_view name) {
  CheckRelative(folder, folder);
  const std::u16string file = NameFilePart(name);
  if (file.empty())
    throw PackageReadError(u"the name " + Quoted(name) + u" names no file");
  if (file.find(u':') != std::u16string::npos) {
    throw PackageReadError(u"the name " + Quoted(name) +
                           u" holds \":\" (an alternate data stream)");
  }
  // The folder text with the file name appended as plain text: its last
  // part is the file, every part before it a folder.
  const std::u16string path = Slashed(folder) + file;
  TPathSplit split = SplitPath(path);
  TRowPlace place;
  place.folder = std::move(split.folder);
  place.file = std::move(split.name);
  CheckFolderParts(place.folder, folder);
  if (place.file.find_first_not_of(u". ") == std::u16string::npos)
    throw PackageReadError(u"the name " + Quoted(name) + u" names no file");
  const std::u16string why = RefusedPartReason(place.file);
  if (!why.empty()) {
    throw PackageReadError(u"the file " + Quoted(std::u16string(folder) + file) + u": " + why);
  }
  return place;
}

std::u16string SystemFolderRest(std::u16string_view folder, std::u16string_view systemDir) {
  const bool named = folder.find(u"System") != std::u16string_view::npos;
  const std::u16string_view token = named ? u"$System$" : u"$Third$";
  if (ReplaceAll(folder, token, u"", true) == folder) {
    throw PackageReadError(u"the folder " + Quoted(folder) + u" names no system folder");
  }
  const std::u16string resolved = ReplaceAll(folder, token, systemDir, true);
  if (systemDir.empty() || resolved.compare(0, systemDir.size(), systemDir) != 0) {
    throw PackageReadError(u"the folder " + Quoted(folder) +
                           u" does not lie in the system directory");
  }
  // A separator right after the system directory adds nothing to it.
  std::u16string_view rest = resolved;
  rest.remove_prefix(systemDir.size());
  while (!rest.empty() && IsPathSeparator(rest[0]))
    rest.remove_prefix(1);
  try {
    CheckRelative(rest, rest);
    const std::u16string dir = Slashed(rest);
    CheckFolderParts(SplitPath(dir).folder, rest);
  } catch (const PackageReadError& e) {
    const bool climbs = e.Message().find(u"leaves the folder") != std::u16string::npos;
    throw PackageReadError(u"the folder " + Quoted(folder) +
                           (climbs ? u" leaves the system directory: " : u" is refused: ") +
                           e.Message());
  }
  return Slashed(rest);
}
