#include "common/CodePage.h"

#include "common/Bytes.h"
#include "common/Errors.h"
#include "common/Text.h"

#ifndef _WIN32
#include <iconv.h>

#include <algorithm>

#include <cerrno>
#endif

namespace {

// 0x80-0x9F of code page 1252. The five bytes it leaves undefined map to the
// C1 control of the same value, as Windows does.
constexpr char16_t kCp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

class Cp1252Page final : public CodePage {
 public:
  unsigned Number() const override { return 1252; }

  std::u16string Widen(std::string_view bytes) const override {
    std::u16string out(bytes.size(), u'\0');
    for (size_t i = 0; i < bytes.size(); ++i) {
      const auto b = static_cast<unsigned char>(bytes[i]);
      out[i] = (b >= 0x80 && b < 0xA0) ? kCp1252High[b - 0x80] : static_cast<char16_t>(b);
    }
    return out;
  }

  std::string Narrow(std::u16string_view text) const override {
    std::string out(text.size(), '?');
    for (size_t i = 0; i < text.size(); ++i) {
      const char16_t c = text[i];
      if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) {
        out[i] = static_cast<char>(c);
        continue;
      }
      for (int k = 0; k < 32; ++k) {
        if (kCp1252High[k] == c) {
          out[i] = static_cast<char>(0x80 + k);
          break;
        }
      }
    }
    return out;
  }
};

#ifndef _WIN32
class IconvPage final : public CodePage {
 public:
  explicit IconvPage(unsigned number) : number_(number), name_("CP" + std::to_string(number)) {
    iconv_t probe = iconv_open("UTF-16LE", name_.c_str());
    if (probe == reinterpret_cast<iconv_t>(-1)) {
      throw Error(u"code page " + IntToText(number) + u" is not known on this system");
    }
    iconv_close(probe);
  }

  unsigned Number() const override { return number_; }

  std::u16string Widen(std::string_view bytes) const override {
    std::u16string out;
    Convert(
        name_.c_str(), "UTF-16LE", bytes.data(), bytes.size(), 1,
        [&](const char* p, size_t n) {
          for (size_t i = 0; i + 1 < n; i += 2)
            out += static_cast<char16_t>(GetU16(std::string_view(p, n), i));
        },
        [&] { out += u'\uFFFD'; });
    return out;
  }

  std::string Narrow(std::u16string_view text) const override {
    std::string in;
    in.reserve(text.size() * 2);
    for (char16_t c : text)
      PutU16(in, c);
    std::string out;
    Convert(
        "UTF-16LE", name_.c_str(), in.data(), in.size(), 2,
        [&](const char* p, size_t n) { out.append(p, n); }, [&] { out += '?'; });
    return out;
  }

 private:
  // Converts in pieces; a unit that does not convert is skipped (unitSize
  // bytes) and stands as `bad` in the output.
  template <typename Sink, typename Bad>
  static void Convert(const char* from, const char* to, const char* data, size_t size,
                      size_t unitSize, Sink&& sink, Bad&& bad) {
    iconv_t cd = iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1))
      throw Error(u"iconv cannot convert this code page");
    char buffer[4096];
    char* in = const_cast<char*>(data);
    size_t left = size;
    while (left > 0) {
      char* out = buffer;
      size_t room = sizeof buffer;
      const size_t r = iconv(cd, &in, &left, &out, &room);
      sink(buffer, static_cast<size_t>(out - buffer));
      if (r == static_cast<size_t>(-1) && errno != E2BIG) {
        // An invalid or cut-off sequence: skip one unit.
        const size_t skip = std::min(unitSize, left);
        in += skip;
        left -= skip;
        bad();
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
      }
    }
    char* out = buffer;
    size_t room = sizeof buffer;
    iconv(cd, nullptr, nullptr, &out, &room);
    sink(buffer, static_cast<size_t>(out - buffer));
    iconv_close(cd);
  }

  unsigned number_;
  std::string name_;
};
#endif

}  // namespace

const CodePage& Cp1252() {
  static const Cp1252Page page;
  return page;
}

std::unique_ptr<CodePage> CreateCodePage(unsigned number) {
  if (number == 1252)
    return std::make_unique<Cp1252Page>();
#ifndef _WIN32
  return std::make_unique<IconvPage>(number);
#else
  throw Error(u"code page " + IntToText(number) +
              u" is not built in; use the system's ANSI code page");
#endif
}
