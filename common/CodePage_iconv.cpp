// Code pages other than 1252 through the system's iconv.
#include <iconv.h>

#include <algorithm>
#include <cerrno>

#include "common/Bytes.h"
#include "common/CodePage.h"
#include "common/Errors.h"
#include "common/Text.h"

namespace {

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

}  // namespace

std::unique_ptr<CodePage> OtherCodePage(unsigned number) {
  return std::make_unique<IconvPage>(number);
}
