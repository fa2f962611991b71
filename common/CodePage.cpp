#include "common/CodePage.h"

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

}  // namespace

const CodePage& Cp1252() {
  static const Cp1252Page page;
  return page;
}

std::unique_ptr<CodePage> CreateCodePage(unsigned number) {
  if (number == 1252)
    return std::make_unique<Cp1252Page>();
  return OtherCodePage(number);
}
