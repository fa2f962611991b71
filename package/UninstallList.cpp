#include "package/UninstallList.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "common/Bytes.h"
#include "common/Errors.h"
#include "common/Text.h"
#include "package/Crc32.h"
#include "package/PeSignature.h"

namespace {

constexpr char kMagic[8] = {'N', 'v', 'U', 'n', 'L', 's', 't', '\x1A'};
constexpr std::string_view kHeader = "NvUninstallList 1\n";
// A list far larger than any package's could hold is taken as damage.
constexpr uint32_t kMaxText = 64u * 1024 * 1024;

bool HasFooter(std::string_view bytes) {
  return bytes.size() >= kUninstallFooterSize &&
         std::memcmp(bytes.data() + bytes.size() - 8, kMagic, 8) == 0;
}

// The text of the list whose footer ends these bytes; raises Error when it
// does not fit or fails its check.
std::string_view ListText(std::string_view bytes) {
  const size_t footer = bytes.size() - kUninstallFooterSize;
  const uint32_t length = GetU32(bytes, footer);
  if (length > kMaxText || length > footer)
    throw Error(u"the list of installed files is damaged (its length is past the file)");
  const std::string_view text = bytes.substr(footer - length, length);
  if (Crc32(text) != GetU32(bytes, footer + 4))
    throw Error(u"the list of installed files is damaged (its check sum does not match)");
  return text;
}

std::vector<TUninstallRow> ParseText(std::string_view text) {
  if (text.substr(0, kHeader.size()) != kHeader)
    throw Error(u"the list of installed files has an unknown form");
  std::vector<TUninstallRow> rows;
  size_t at = kHeader.size();
  while (at < text.size()) {
    const size_t end = text.find('\n', at);
    if (end == std::string_view::npos)
      throw Error(u"the list of installed files ends in the middle of a row");
    const std::string_view line = text.substr(at, end - at);
    const size_t tab1 = line.find('\t');
    const size_t tab2 = tab1 == std::string_view::npos ? tab1 : line.find('\t', tab1 + 1);
    const std::string_view flag = tab2 == std::string_view::npos ? "" : line.substr(tab2 + 1);
    if (flag != "S" && flag != "D") {
      throw Error(u"the list of installed files has a malformed row " +
                  IntToText(static_cast<int64_t>(rows.size()) + 1));
    }
    TUninstallRow row;
    row.folder = FromUtf8(line.substr(0, tab1));
    row.name = FromUtf8(line.substr(tab1 + 1, tab2 - tab1 - 1));
    row.system = flag == "S";
    if (row.name.empty()) {
      throw Error(u"the list of installed files has a row without a file name (row " +
                  IntToText(static_cast<int64_t>(rows.size()) + 1) + u")");
    }
    rows.push_back(std::move(row));
    at = end + 1;
  }
  return rows;
}

}  // namespace

bool IsSystemFolder(std::u16string_view folder) {
  return !folder.empty() && folder[0] == u'$';
}

std::string MakeUninstallList(const std::vector<TUninstallRow>& rows) {
  std::string text(kHeader);
  for (const TUninstallRow& r : rows) {
    for (char16_t c : r.folder + r.name) {
      if (c < 32) {
        throw Error(u"the file \"" + r.folder + r.name +
                    u"\" has a control character in its name, which the list of installed "
                    u"files cannot carry");
      }
    }
    if (r.name.empty())
      throw Error(u"a row of the folder \"" + r.folder + u"\" has no file name");
    text += ToUtf8(r.folder) + '\t' + ToUtf8(r.name) + '\t' + (r.system ? 'S' : 'D') + '\n';
  }
  std::string out = text;
  PutU32(out, static_cast<uint32_t>(text.size()));
  PutU32(out, Crc32(text));
  out.append(kMagic, 8);
  return out;
}

size_t UninstallListStart(std::string_view fileBytes) {
  if (!HasFooter(fileBytes))
    return fileBytes.size();
  const std::string_view text = ListText(fileBytes);
  return fileBytes.size() - kUninstallFooterSize - text.size();
}

std::vector<TUninstallRow> ParseUninstallList(std::string_view fileBytes) {
  if (!HasFooter(fileBytes))
    throw Error(u"the program carries no list of installed files");
  return ParseText(ListText(fileBytes));
}

std::vector<TUninstallRow> ReadUninstallList(
    int64_t fileSize, const std::function<void(int64_t offset, char* buffer, size_t count)>& readAt,
    const std::u16string& name) {
  constexpr auto kFooter = static_cast<int64_t>(kUninstallFooterSize);
  // A signed program: the list ends where the signature's table begins, but
  // for the zero bytes that align that table to 8.
  int64_t size = fileSize;
  if (const auto table = FindSignatureTable(fileSize, readAt)) {
    size = table->offset;
    char pad[8];
    const int64_t n = std::min<int64_t>(size, 8);
    readAt(size - n, pad, static_cast<size_t>(n));
    for (int64_t i = n - 1; i >= 0 && size > table->offset - 7 && pad[i] == 0; --i)
      --size;
  }
  if (size < kFooter)
    throw Error(name + u" carries no list of installed files");
  std::string footer(kUninstallFooterSize, '\0');
  readAt(size - kFooter, footer.data(), footer.size());
  if (!HasFooter(footer))
    throw Error(name + u" carries no list of installed files");
  const uint32_t length = GetU32(footer, 0);
  if (length > kMaxText || length > size - kFooter) {
    throw Error(name + u": the list of installed files is damaged (its length is past the file)");
  }
  std::string tail(length, '\0');
  readAt(size - kFooter - length, tail.data(), tail.size());
  try {
    return ParseUninstallList(tail + footer);
  } catch (const Error& e) {
    throw Error(name + u": " + e.Message());
  }
}
