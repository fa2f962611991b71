#include "win/MessageBox.h"

#include "win/WideText.h"

namespace {

std::u16string& Title() {
  static std::u16string title;
  return title;
}

}  // namespace

void SetApplicationTitle(std::u16string title) {
  Title() = std::move(title);
}
const std::u16string& ApplicationTitle() {
  return Title();
}

int ShowMessageBox(HWND owner, const std::u16string& text, const std::u16string& caption,
                   UINT style) {
  return MessageBoxW(owner, W(text), W(caption.empty() ? ApplicationTitle() : caption), style);
}
