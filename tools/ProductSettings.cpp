#include "tools/ProductSettings.h"

#include <functional>
#include <optional>

#include "common/Bytes.h"
#include "common/Convert.h"
#include "common/Errors.h"
#include "common/Path.h"
#include "common/Text.h"
#include "fs/File.h"
#include "pe/VersionResource.h"

const TSettingsString kSettingsStrings[9] = {
    {u"ProductName", 1001},   {u"ProductNameChinese", 1002},
    {u"UninstallName", 1003}, {u"UninstallNameChinese", 1004},
    {u"Language", 1007},      {u"Freeware", 1009},
    {u"ShortName", 1010},     {u"Version", 1011},
    {u"SizeText", 1012}};
const char16_t* const kSettingsPictures[4] = {u"BannerChinese", u"BannerEnglish", u"HeaderPicture",
                                              u"Icon"};
const char16_t* const kSettingsVersionTexts[3] = {u"Company", u"Description", u"Copyright"};

namespace {

bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\r';
}

std::string_view Strip(std::string_view s) {
  while (!s.empty() && IsBlank(s.front()))
    s.remove_prefix(1);
  while (!s.empty() && IsBlank(s.back()))
    s.remove_suffix(1);
  return s;
}

bool IsKnownKey(const std::u16string& key) {
  for (const auto& s : kSettingsStrings) {
    if (key == s.key)
      return true;
  }
  for (const char16_t* p : kSettingsPictures) {
    if (key == p)
      return true;
  }
  for (const char16_t* p : kSettingsVersionTexts) {
    if (key == p)
      return true;
  }
  return false;
}

uint16_t Big16(std::string_view s, size_t at) {
  return static_cast<uint16_t>(static_cast<uint8_t>(s[at]) << 8 | static_cast<uint8_t>(s[at + 1]));
}

bool IsAbsolute(const std::u16string& path) {
  return (!path.empty() && (path[0] == u'/' || path[0] == u'\\')) ||
         (path.size() > 1 && path[1] == u':');
}

}  // namespace

std::map<std::u16string, std::u16string> ParseProductSettings(std::string_view utf8,
                                                              std::u16string_view name) {
  std::map<std::u16string, std::u16string> values;
  if (utf8.substr(0, 3) == "\xEF\xBB\xBF")
    utf8.remove_prefix(3);
  int lineNo = 0;
  while (!utf8.empty()) {
    const size_t end = utf8.find('\n');
    const std::string_view line = Strip(utf8.substr(0, end));
    utf8.remove_prefix(end == std::string_view::npos ? utf8.size() : end + 1);
    ++lineNo;
    const std::u16string where = std::u16string(name) + u":" + IntToText(lineNo) + u": ";
    if (line.empty() || line[0] == '#')
      continue;
    const size_t eq = line.find('=');
    const std::u16string key = FromUtf8(Strip(line.substr(0, eq == line.npos ? 0 : eq)));
    bool letters = !key.empty();
    for (char16_t c : key)
      letters &= (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z');
    if (eq == line.npos || !letters)
      throw Error(where + u"a line is not 'Key = Value': " + FromUtf8(line));
    if (!IsKnownKey(key))
      throw Error(where + u"unknown key '" + key + u"'");
    if (values.count(key))
      throw Error(where + u"the key '" + key + u"' is given twice");
    values[key] = FromUtf8(Strip(line.substr(eq + 1)));
  }
  std::u16string missing;
  auto need = [&](const char16_t* key) {
    if (!values.count(key))
      missing += (missing.empty() ? u"" : u", ") + std::u16string(key);
  };
  for (const auto& s : kSettingsStrings)
    need(s.key);
  for (const char16_t* p : kSettingsPictures)
    need(p);
  if (!missing.empty())
    throw Error(std::u16string(name) + u": missing keys: " + missing);
  return values;
}

void CheckBanner(std::string_view jpeg) {
  if (jpeg.size() < 4 || Big16(jpeg, 0) != 0xFFD8)
    throw Error(u"not a JPEG file");
  size_t at = 2;
  for (;;) {
    if (at + 2 > jpeg.size() || static_cast<uint8_t>(jpeg[at]) != 0xFF)
      throw Error(u"a JPEG file without a frame header");
    while (at + 1 < jpeg.size() && static_cast<uint8_t>(jpeg[at + 1]) == 0xFF)
      ++at;  // fill bytes
    if (at + 2 > jpeg.size())
      throw Error(u"a JPEG file without a frame header");
    const uint8_t marker = static_cast<uint8_t>(jpeg[at + 1]);
    at += 2;
    if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7))
      continue;  // no length
    if (marker == 0xD9 || marker == 0xDA || at + 2 > jpeg.size())
      throw Error(u"a JPEG file without a frame header");
    const size_t length = Big16(jpeg, at);
    if (length < 2 || at + length > jpeg.size())
      throw Error(u"a JPEG file cut short");
    const bool frame =
        marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
    if (frame) {
      if (marker != 0xC0)
        throw Error(
            u"a JPEG that is not baseline (progressive or another coding): save it as a "
            u"baseline JPEG");
      if (length < 8)
        throw Error(u"a JPEG file cut short");
      const int height = Big16(jpeg, at + 3);
      const int width = Big16(jpeg, at + 5);
      const int components = static_cast<uint8_t>(jpeg[at + 7]);
      if (width != 160 || height != 308 || components != 3) {
        throw Error(u"a JPEG of " + IntToText(width) + u" x " + IntToText(height) + u" with " +
                    IntToText(components) +
                    u" components; the banner is 160 x 308 with three (colour)");
      }
      return;
    }
    at += length;
  }
}

void CheckHeaderPicture(std::string_view bmp) {
  const std::string info = BitmapResource(bmp);
  auto get32 = [&](size_t at) { return static_cast<int32_t>(GetU32(info, at)); };
  const int32_t headerSize = get32(0);
  if (headerSize < 40)
    throw Error(u"a bitmap of an old form (a header of " + IntToText(headerSize) + u" bytes)");
  const int32_t width = get32(4);
  const int32_t height = get32(8);
  const int bits = GetU16(info, 14);
  const int32_t compression = get32(16);
  if (width != 32 || (height != 32 && height != -32) || bits != 24) {
    throw Error(u"a bitmap of " + IntToText(width) + u" x " +
                IntToText(height < 0 ? -height : height) + u" with " + IntToText(bits) +
                u" bits a pixel; the header picture is 32 x 32 with 24");
  }
  if (compression != 0)
    throw Error(u"a compressed bitmap; the header picture is uncompressed");
  if (info.size() < static_cast<size_t>(headerSize) + 32 * 32 * 3)
    throw Error(u"a bitmap file cut short");
}

void CheckIcon(const std::vector<TIconImage>& images) {
  bool has16 = false, has32 = false;
  for (const auto& im : images) {
    has16 |= im.width == 16 && im.height == 16;
    has32 |= im.width == 32 && im.height == 32;
  }
  if (!has16 || !has32) {
    std::u16string sizes;
    for (const auto& im : images)
      sizes += (sizes.empty() ? u"" : u", ") + IntToText(im.width) + u" x " + IntToText(im.height);
    throw Error(u"an icon with images of " + sizes + u"; it needs 16 x 16 and 32 x 32");
  }
}

TProductResources LoadProductResources(const std::u16string& settingsPath) {
  const auto values = ParseProductSettings(ReadFileBytes(settingsPath), settingsPath);
  TProductResources r;
  auto fail = [&](const std::u16string& key, const std::u16string& what) {
    throw Error(settingsPath + u": " + key + u": " + what);
  };
  for (const auto& s : kSettingsStrings) {
    const std::u16string& v = values.at(s.key);
    if (v.size() > kMaxTableString)
      fail(s.key, u"the text is " + IntToText(static_cast<int64_t>(v.size())) +
                      u" UTF-16 units long; a string table holds at most " +
                      IntToText(kMaxTableString));
    r.strings[s.id] = v;
  }
  const auto language = TryTextToInt(values.at(u"Language"));
  if (!language || (*language != -1 && *language != 0 && *language != 2))
    fail(u"Language", u"'" + values.at(u"Language") +
                          u"' is none of 0 (Chinese), 2 (English), "
                          u"-1 (by the system's code page)");
  try {
    TextToBool(values.at(u"Freeware"));
  } catch (const ConvertError&) {
    fail(u"Freeware", u"'" + values.at(u"Freeware") + u"' is neither True, False nor a number");
  }
  const std::u16string base = ParentFolder(settingsPath);
  auto picture = [&](const char16_t* key, const std::function<void(const std::string&)>& check) {
    const std::u16string& v = values.at(key);
    if (v.empty())
      fail(key, u"no picture given");
    const std::u16string path = IsAbsolute(v) ? v : base + v;
    std::string bytes;
    try {
      bytes = ReadFileBytes(path);
    } catch (const Error& e) {
      fail(key, e.Message());  // it names the file
    }
    try {
      check(bytes);
    } catch (const Error& e) {
      fail(key, path + u": " + e.Message());
    }
    return bytes;
  };
  r.bannerChinese = picture(u"BannerChinese", [](const std::string& b) { CheckBanner(b); });
  r.bannerEnglish = picture(u"BannerEnglish", [](const std::string& b) { CheckBanner(b); });
  r.headerBitmap = BitmapResource(
      picture(u"HeaderPicture", [](const std::string& b) { CheckHeaderPicture(b); }));
  picture(u"Icon", [&](const std::string& b) {
    r.icon = ParseIconFile(b);
    CheckIcon(r.icon);
  });
  auto optional = [&](const char16_t* key) {
    const auto it = values.find(key);
    return it == values.end() ? std::u16string() : it->second;
  };
  r.company = optional(u"Company");
  r.description = optional(u"Description");
  r.copyright = optional(u"Copyright");
  try {
    ParseVersionNumbers(r.strings.at(1011));
  } catch (const Error& e) {
    fail(u"Version", e.Message());
  }
  return r;
}
