#include "pe/VersionResource.h"

#include "common/Bytes.h"
#include "common/Errors.h"

namespace {

void Align(std::string& out) {
  while (out.size() % 4 != 0)
    out += '\0';
}

void PutText(std::string& out, std::u16string_view text) {
  for (char16_t c : text)
    PutU16(out, c);
  PutU16(out, 0);
}

// One node of the tree: its length, its value's length (in units of the
// value's kind), its kind (1 text, 0 binary), its key, its value and its
// children, each starting on a 4-byte boundary. The length leaves out the
// padding after the last child.
std::string Node(std::u16string_view key, const std::string& value, uint16_t valueLength,
                 uint16_t type, const std::vector<std::string>& children) {
  std::string out;
  PutU16(out, 0);
  PutU16(out, valueLength);
  PutU16(out, type);
  PutText(out, key);
  Align(out);
  out += value;
  for (const std::string& child : children) {
    Align(out);
    out += child;
  }
  if (out.size() > 0xFFFF)
    throw Error(u"the version information is longer than 65535 bytes");
  SetU16(out, 0, static_cast<uint16_t>(out.size()));
  return out;
}

constexpr uint16_t kUnicodeCodePage = 1200;

}  // namespace

TVersionNumbers ParseVersionNumbers(std::u16string_view text) {
  TVersionNumbers n{};
  size_t at = 0;
  for (size_t part = 0; at < text.size() && text[at] >= u'0' && text[at] <= u'9'; ++part) {
    if (part == n.size())
      throw Error(u"the version '" + std::u16string(text) + u"' has more than four numbers");
    uint32_t v = 0;
    while (at < text.size() && text[at] >= u'0' && text[at] <= u'9') {
      v = v * 10 + static_cast<uint32_t>(text[at++] - u'0');
      if (v > 0xFFFF)
        throw Error(u"the version '" + std::u16string(text) +
                    u"' has a number above 65535, which a program's version cannot hold");
    }
    n[part] = static_cast<uint16_t>(v);
    if (at + 1 < text.size() && text[at] == u'.' && text[at + 1] >= u'0' && text[at + 1] <= u'9')
      ++at;
    else
      break;
  }
  return n;
}

std::string MakeVersionResource(const TVersionInfo& info) {
  std::string fixed;
  PutU32(fixed, 0xFEEF04BD);  // signature
  PutU32(fixed, 0x00010000);  // structure version
  auto putVersion = [&](const TVersionNumbers& v) {
    PutU32(fixed, static_cast<uint32_t>(v[0]) << 16 | v[1]);
    PutU32(fixed, static_cast<uint32_t>(v[2]) << 16 | v[3]);
  };
  putVersion(info.fileVersion);
  putVersion(info.productVersion);
  PutU32(fixed, 0x3F);     // flags mask
  PutU32(fixed, 0);        // flags
  PutU32(fixed, 0x40004);  // Windows NT, 32-bit
  PutU32(fixed, 1);        // an application
  PutU32(fixed, 0);        // subtype
  PutU32(fixed, 0);        // date
  PutU32(fixed, 0);

  std::vector<std::string> tables;
  std::string translations;
  for (const TVersionBlock& block : info.blocks) {
    std::vector<std::string> strings;
    for (const auto& [name, text] : block.values) {
      std::string value;
      PutText(value, text);
      if (text.size() + 1 > 0xFFFF)
        throw Error(u"the version text " + name + u" is too long");
      strings.push_back(Node(name, value, static_cast<uint16_t>(text.size() + 1), 1, {}));
    }
    tables.push_back(Node(
        ToHex(block.language, 4, THexCase::kUpper) + ToHex(kUnicodeCodePage, 4, THexCase::kUpper),
        {}, 0, 1, strings));
    PutU16(translations, block.language);
    PutU16(translations, kUnicodeCodePage);
  }
  std::vector<std::string> children;
  children.push_back(Node(u"StringFileInfo", {}, 0, 1, tables));
  children.push_back(Node(
      u"VarFileInfo", {}, 0, 1,
      {Node(u"Translation", translations, static_cast<uint16_t>(translations.size()), 0, {})}));
  return Node(u"VS_VERSION_INFO", fixed, static_cast<uint16_t>(fixed.size()), 0, children);
}
