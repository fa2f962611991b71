#include "common/Text.h"

namespace {

void AppendUtf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

void AppendUtf16(std::u16string& out, char32_t c) {
  if (c < 0x10000) {
    out += static_cast<char16_t>(c);
  } else {
    c -= 0x10000;
    out += static_cast<char16_t>(0xD800 + (c >> 10));
    out += static_cast<char16_t>(0xDC00 + (c & 0x3FF));
  }
}

char16_t FoldAscii(char16_t c) {
  return (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c + 32) : c;
}

}  // namespace

std::string ToUtf8(std::u16string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    char32_t c = text[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
        text[i + 1] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
      ++i;
    } else if (c >= 0xD800 && c <= 0xDFFF) {
      c = 0xFFFD;
    }
    AppendUtf8(out, c);
  }
  return out;
}

std::u16string FromUtf8(std::string_view text) {
  std::u16string out;
  out.reserve(text.size());
  size_t i = 0;
  while (i < text.size()) {
    const auto b = static_cast<unsigned char>(text[i]);
    int len = b < 0x80 ? 1 : (b >> 5) == 6 ? 2 : (b >> 4) == 14 ? 3 : (b >> 3) == 30 ? 4 : 0;
    char32_t c = len == 1 ? b : len == 2 ? (b & 0x1F) : len == 3 ? (b & 0x0F) : (b & 0x07);
    bool ok = len > 0 && i + len <= text.size();
    for (int k = 1; ok && k < len; ++k) {
      const auto t = static_cast<unsigned char>(text[i + k]);
      ok = (t & 0xC0) == 0x80;
      c = (c << 6) | (t & 0x3F);
    }
    // Overlong forms, surrogates and values past U+10FFFF are malformed.
    static constexpr char32_t kMin[] = {0, 0, 0x80, 0x800, 0x10000};
    if (ok && (c < kMin[len] || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)))
      ok = false;
    if (!ok) {
      out += u'\uFFFD';
      ++i;
      continue;
    }
    AppendUtf16(out, c);
    i += len;
  }
  return out;
}

std::u16string IntToText(int64_t value) {
  // Work in unsigned so that the smallest value negates safely.
  uint64_t magnitude = value < 0 ? 0 - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
  char16_t buffer[24];
  char16_t* end = buffer + 24;
  char16_t* p = end;
  do {
    *--p = static_cast<char16_t>(u'0' + magnitude % 10);
    magnitude /= 10;
  } while (magnitude != 0);
  if (value < 0)
    *--p = u'-';
  return std::u16string(p, end);
}

std::u16string ReplaceAll(std::u16string_view text, std::u16string_view from,
                          std::u16string_view to, bool ignoreCase) {
  if (from.empty())
    return std::u16string(text);
  std::u16string out;
  out.reserve(text.size());
  size_t i = 0;
  while (i < text.size()) {
    bool match = i + from.size() <= text.size();
    for (size_t k = 0; match && k < from.size(); ++k) {
      const char16_t a = text[i + k];
      const char16_t b = from[k];
      match = ignoreCase ? FoldAscii(a) == FoldAscii(b) : a == b;
    }
    if (match) {
      out += to;
      i += from.size();
    } else {
      out += text[i++];
    }
  }
  return out;
}

std::u16string AsciiUpper(std::u16string_view text) {
  std::u16string out(text);
  for (auto& c : out) {
    if (c >= u'a' && c <= u'z')
      c = static_cast<char16_t>(c - 32);
  }
  return out;
}
