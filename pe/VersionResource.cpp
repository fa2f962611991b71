#include "pe/VersionResource.h"

#include "common/Errors.h"

namespace {

void Put16(std::string& out, uint32_t v) {
  out += static_cast<char>(v & 0xFF);
  out += static_cast<char>(v >> 8 & 0xFF);
}

void Put32(std::string& out, uint32_t v) {
  Put16(out, v & 0xFFFF);
  Put16(out, v >> 16);
}

void Align(std::string& out) {
  while (out.size() % 4 != 0)
    out += '\0';
}

void PutText(std::string& out, std::u16string_view text) {
  for (char16_t c : text)
    Put16(out, c);
  Put16(out, 0);
}

// One node of the tree: its length, its value's length (in units of the
// value's kind), its kind (1 text, 0 binary), its key, its value and its
// children, each starting on a 4-byte boundary. The length leaves out the
// padding after the last child.
std::string Node(std::u16string_view key, const std::string& value, uint16_t valueLength,
                 uint16_t type, const std::vector<std::string>& children) {
  std::string out;
  Put16(out, 0);
  Put16(out, valueLength);
  Put16(out, type);
  PutText(out, key);
  Align(out);
  out += value;
  for (const std::string& child : children) {
    Align(out);
    out += child;
  }
  if (out.size() > 0xFFFF)
    throw Error(u"the version information is longer than 65535 bytes");
  out[0] = static_cast<char>(out.size() & 0xFF);
  out[1] = static_cast<char>(out.size() >> 8);
  return out;
}

std::u16string Hex4(uint16_t v) {
  static const char16_t kDigits[] = u"0123456789ABCDEF";
  std::u16string s;
  for (int shift = 12; shift >= 0; shift -= 4)
    s += kDigits[v >> shift & 0xF];
  return s;
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
  Put32(fixed, 0xFEEF04BD);  // signature
  Put32(fixed, 0x00010000);  // structure version
  auto putVersion = [&](const TVersionNumbers& v) {
    Put32(fixed, static_cast<uint32_t>(v[0]) << 16 | v[1]);
    Put32(fixed, static_cast<uint32_t>(v[2]) << 16 | v[3]);
  };
  putVersion(info.fileVersion);
  putVersion(info.productVersion);
  Put32(fixed, 0x3F);     // flags mask
  Put32(fixed, 0);        // flags
  Put32(fixed, 0x40004);  // Windows NT, 32-bit
  Put32(fixed, 1);        // an application
  Put32(fixed, 0);        // subtype
  Put32(fixed, 0);        // date
  Put32(fixed, 0);

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
    tables.push_back(Node(Hex4(block.language) + Hex4(kUnicodeCodePage), {}, 0, 1, strings));
    Put16(translations, block.language);
    Put16(translations, kUnicodeCodePage);
  }
  std::vector<std::string> children;
  children.push_back(Node(u"StringFileInfo", {}, 0, 1, tables));
  children.push_back(Node(
      u"VarFileInfo", {}, 0, 1,
      {Node(u"Translation", translations, static_cast<uint16_t>(translations.size()), 0, {})}));
  return Node(u"VS_VERSION_INFO", fixed, static_cast<uint16_t>(fixed.size()), 0, children);
}
