#include "ui/Layout.h"

#include <map>
#include <set>

#include "common/Convert.h"
#include "common/Errors.h"
#include "common/Text.h"

namespace {

// Splits a line into tokens; a quoted token keeps its spaces.
std::vector<std::string> Tokens(std::string_view line, int lineNo) {
  std::vector<std::string> out;
  size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t' || line[i] == '\r'))
      ++i;
    if (i >= line.size())
      break;
    std::string token;
    while (i < line.size() && line[i] != ' ' && line[i] != '\t' && line[i] != '\r') {
      if (line[i] == '"') {
        ++i;
        for (;;) {
          if (i >= line.size()) {
            throw Error(u"layout line " + IntToText(lineNo) + u": a quote is not closed");
          }
          if (line[i] == '"') {
            if (i + 1 < line.size() && line[i + 1] == '"') {
              token += '"';
              i += 2;
              continue;
            }
            ++i;
            break;
          }
          token += line[i++];
        }
      } else {
        token += line[i++];
      }
    }
    out.push_back(token);
  }
  return out;
}

int Number(const std::string& value, int lineNo, const std::string& key) {
  const auto v = TryTextToInt(FromUtf8(value));
  if (!v) {
    throw Error(u"layout line " + IntToText(lineNo) + u": " + FromUtf8(key) +
                u" is not a number: " + FromUtf8(value));
  }
  return *v;
}

}  // namespace

bool ParseColor(std::string_view name, uint32_t& color) {
  static const std::map<std::string, uint32_t, std::less<>> kNamed = {
      {"btnface", kSysBtnFace}, {"white", 0x00FFFFFF}, {"cream", 0x00F0FBFF},
      {"navy", 0x00800000},     {"green", 0x00008000}, {"windowtext", kSysWindowText},
      {"black", 0x00000000},
  };
  if (auto it = kNamed.find(name); it != kNamed.end()) {
    color = it->second;
    return true;
  }
  if (name.size() == 7 && name[0] == '#') {
    const auto rgb = TryTextToInt(u"$" + FromUtf8(name.substr(1)));
    if (!rgb)
      return false;
    const uint32_t v = static_cast<uint32_t>(*rgb);
    color = ((v & 0xFF) << 16) | (v & 0xFF00) | ((v >> 16) & 0xFF);  // to 0x00BBGGRR
    return true;
  }
  return false;
}

std::vector<TLayoutItem> ParseLayout(std::string_view text) {
  static const std::set<std::string, std::less<>> kKinds = {"form",     "panel", "image", "label",
                                                            "button",   "check", "edit",  "memo",
                                                            "progress", "group", "bevel"};
  std::vector<TLayoutItem> items;
  std::set<std::string> names;
  int lineNo = 0;
  size_t start = 0;
  while (start <= text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string_view::npos)
      end = text.size();
    const std::string_view line = text.substr(start, end - start);
    start = end + 1;
    ++lineNo;
    const auto tokens = Tokens(line, lineNo);
    if (tokens.empty() || tokens[0][0] == '#')
      continue;
    auto fail = [&](const std::u16string& what) -> Error {
      return Error(u"layout line " + IntToText(lineNo) + u": " + what);
    };
    if (tokens.size() < 2)
      throw fail(u"a control needs a kind and a name");
    TLayoutItem item;
    item.kind = tokens[0];
    item.name = tokens[1];
    if (!kKinds.count(item.kind))
      throw fail(u"unknown kind " + FromUtf8(item.kind));
    if (!names.insert(item.name).second)
      throw fail(u"the name " + FromUtf8(item.name) + u" is given twice");
    if ((item.kind == "form") != items.empty())
      throw fail(u"the form comes first, and only once");
    for (size_t k = 2; k < tokens.size(); ++k) {
      const std::string& t = tokens[k];
      const size_t eq = t.find('=');
      if (eq == std::string::npos) {
        bool* flag = t == "hidden"        ? &item.hidden
                     : t == "bold"        ? &item.font.bold
                     : t == "wrap"        ? &item.wrap
                     : t == "fixed"       ? &item.fixed
                     : t == "transparent" ? &item.transparent
                     : t == "checked"     ? &item.checked
                     : t == "readonly"    ? &item.readonly
                     : t == "vscroll"     ? &item.vscroll
                     : t == "center"      ? &item.center
                     : t == "vcenter"     ? &item.vcenter
                     : t == "client"      ? &item.client
                     : t == "minimize"    ? &item.minimize
                                          : nullptr;
        if (flag == nullptr)
          throw fail(u"unknown flag " + FromUtf8(t));
        *flag = true;
        continue;
      }
      const std::string key = t.substr(0, eq);
      const std::string value = t.substr(eq + 1);
      if (key == "parent") {
        if (!names.count(value) || value == item.name)
          throw fail(u"no control " + FromUtf8(value) + u" before this one");
        item.parent = value;
      } else if (key == "id") {
        item.id = Number(value, lineNo, key);
      } else if (key == "left") {
        item.left = Number(value, lineNo, key);
      } else if (key == "top") {
        item.top = Number(value, lineNo, key);
      } else if (key == "width") {
        item.width = Number(value, lineNo, key);
      } else if (key == "height") {
        item.height = Number(value, lineNo, key);
      } else if (key == "tab") {
        item.tab = Number(value, lineNo, key);
      } else if (key == "size") {
        item.font.points = Number(value, lineNo, key);
      } else if (key == "px") {
        item.font.pixels = Number(value, lineNo, key);
      } else if (key == "font") {
        item.font.name = FromUtf8(value);
      } else if (key == "text") {
        item.text = ReplaceAll(FromUtf8(value), u"\\n", u"\n", false);
      } else if (key == "align") {
        item.align = value == "top"     ? TAlign::Top
                     : value == "left"  ? TAlign::Left
                     : value == "right" ? TAlign::Right
                     : value == "none"  ? TAlign::None
                                        : throw fail(u"unknown alignment " + FromUtf8(value));
      } else if (key == "color" || key == "fontcolor") {
        uint32_t c = 0;
        if (!ParseColor(value, c))
          throw fail(u"unknown colour " + FromUtf8(value));
        (key == "color" ? item.color : item.font.color) = c;
      } else {
        throw fail(u"unknown key " + FromUtf8(key));
      }
    }
    if (item.kind != "form" && item.parent.empty())
      throw fail(u"a control needs a parent");
    items.push_back(std::move(item));
  }
  if (items.empty())
    throw Error(u"the layout has no form");
  return items;
}

int ScaleToDpi(int pixels, int dpi) {
  const int64_t product = static_cast<int64_t>(pixels) * dpi;
  const int64_t half = product >= 0 ? 48 : -48;
  return static_cast<int>((product + half) / 96);
}

std::vector<TLayoutItem> ScaleLayout(std::vector<TLayoutItem> items, int dpi) {
  if (dpi == 96)
    return items;
  for (TLayoutItem& item : items) {
    const int left = ScaleToDpi(item.left, dpi);
    const int top = ScaleToDpi(item.top, dpi);
    item.width = ScaleToDpi(item.left + item.width, dpi) - left;
    item.height = ScaleToDpi(item.top + item.height, dpi) - top;
    item.left = left;
    item.top = top;
    item.font.pixels = ScaleToDpi(item.font.pixels, dpi);
  }
  return items;
}
