#include "win/AnsiCodePage.h"

#include <windows.h>

namespace {

class WinAnsiPage final : public CodePage {
 public:
  unsigned Number() const override { return GetACP(); }

  std::u16string Widen(std::string_view bytes) const override {
    if (bytes.empty())
      return {};
    const int size = static_cast<int>(bytes.size());
    const int n = MultiByteToWideChar(CP_ACP, 0, bytes.data(), size, nullptr, 0);
    std::wstring out(static_cast<size_t>(n > 0 ? n : 0), L'\0');
    if (n > 0)
      MultiByteToWideChar(CP_ACP, 0, bytes.data(), size, out.data(), n);
    return std::u16string(out.begin(), out.end());
  }

  std::string Narrow(std::u16string_view text) const override {
    if (text.empty())
      return {};
    const std::wstring wide(text.begin(), text.end());
    const int size = static_cast<int>(wide.size());
    const int n = WideCharToMultiByte(CP_ACP, 0, wide.data(), size, nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(n > 0 ? n : 0), '\0');
    if (n > 0)
      WideCharToMultiByte(CP_ACP, 0, wide.data(), size, out.data(), n, nullptr, nullptr);
    return out;
  }
};

}  // namespace

const CodePage& AnsiCodePage() {
  static const WinAnsiPage page;
  return page;
}
