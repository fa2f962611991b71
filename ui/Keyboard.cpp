// The form's keyboard: Enter, Escape, mnemonics, where the focus rests and
// which button is drawn as the default one. Tab and the arrows are the
// system's dialog keys (IsDialogMessage, which the message loop calls after
// HandleKey).
#include <algorithm>
#include <vector>

#include "ui/Forms.h"

namespace {

// The letter a caption marks with "&" (upper case), or 0.
wchar_t MnemonicOf(const std::u16string& caption) {
  for (size_t i = 0; i + 1 < caption.size(); ++i) {
    if (caption[i] != u'&')
      continue;
    if (caption[i + 1] == u'&') {
      ++i;
      continue;
    }
    return static_cast<wchar_t>(reinterpret_cast<uintptr_t>(
        CharUpperW(reinterpret_cast<LPWSTR>(static_cast<uintptr_t>(caption[i + 1])))));
  }
  return 0;
}

wchar_t Upper(wchar_t c) {
  return static_cast<wchar_t>(
      reinterpret_cast<uintptr_t>(CharUpperW(reinterpret_cast<LPWSTR>(static_cast<uintptr_t>(c)))));
}

bool IsUsable(HWND hwnd) {
  return hwnd != nullptr && IsWindowVisible(hwnd) != FALSE && IsWindowEnabled(hwnd) != FALSE;
}

}  // namespace

std::vector<TButton*> TForm::Buttons() const {
  std::vector<TButton*> buttons;
  for (const auto& c : owned_) {
    if (auto* b = dynamic_cast<TButton*>(c.get()))
      buttons.push_back(b);
  }
  return buttons;
}

TButton* TForm::EnterButton() const {
  if (auto* focused = dynamic_cast<TButton*>(TControl::FromHandle(GetFocus()))) {
    if (IsChild(hwnd_, focused->Handle()) && focused->Usable())
      return focused;
  }
  return DefaultButton != nullptr && DefaultButton->Usable() ? DefaultButton : nullptr;
}

bool TForm::HandleKey(const MSG& msg) {
  switch (msg.message) {
    case WM_KEYDOWN:
      if (msg.wParam == VK_RETURN) {
        // Only a press: the key's auto-repeat while it is held down never
        // presses a button, so holding Enter cannot walk through the pages.
        const bool repeat = (msg.lParam & (LPARAM{1} << 30)) != 0;
        if (TButton* b = EnterButton(); b != nullptr && !repeat)
          b->Click();
        return true;
      }
      if (msg.wParam == VK_ESCAPE) {
        if (CancelButton != nullptr && CancelButton->Usable())
          CancelButton->Click();
        return true;
      }
      return false;
    case WM_SYSCHAR:
      return Mnemonic(static_cast<wchar_t>(msg.wParam));
    case WM_CHAR: {
      if (msg.wParam < 0x20)
        return false;
      // A letter typed into a control that takes characters is its own.
      const HWND focus = GetFocus();
      if (focus != nullptr) {
        MSG copy = msg;
        const LRESULT code =
            SendMessageW(focus, WM_GETDLGCODE, msg.wParam, reinterpret_cast<LPARAM>(&copy));
        if ((code & (DLGC_WANTCHARS | DLGC_WANTALLKEYS)) != 0)
          return false;
      }
      return Mnemonic(static_cast<wchar_t>(msg.wParam));
    }
    default:
      return false;
  }
}

bool TForm::Mnemonic(wchar_t letter) {
  const wchar_t key = Upper(letter);
  if (key == 0)
    return false;
  // The usable buttons and check boxes that mark this letter, in Tab order
  // from the one after the focus.
  std::vector<TControl*> matches;
  const HWND focus = IsChild(hwnd_, GetFocus()) ? GetFocus() : nullptr;
  HWND at = GetNextDlgTabItem(hwnd_, focus, FALSE);
  for (HWND first = at; at != nullptr && matches.size() < owned_.size();) {
    TControl* c = TControl::FromHandle(at);
    if ((dynamic_cast<TButton*>(c) != nullptr || dynamic_cast<TCheckBox*>(c) != nullptr) &&
        c->Usable() && MnemonicOf(c->Caption()) == key &&
        std::find(matches.begin(), matches.end(), c) == matches.end()) {
      matches.push_back(c);
    }
    at = GetNextDlgTabItem(hwnd_, at, FALSE);
    if (at == first)
      break;
  }
  if (matches.empty())
    return false;
  TControl* target = matches.front();
  FocusControl(*target);
  if (matches.size() > 1)
    return true;  // several share the letter: the focus moves, nothing is pressed
  if (auto* b = dynamic_cast<TButton*>(target))
    b->Click();
  else
    SendMessageW(target->Handle(), BM_CLICK, 0, 0);
  return true;
}

void TForm::FocusControl(const TControl& control) {
  if (control.Usable() && IsChild(hwnd_, control.Handle())) {
    SetFocus(control.Handle());
    lastFocus_ = control.Handle();
  }
}

void TForm::KeyboardIdle() {
  if (GetActiveWindow() == hwnd_) {
    const HWND focus = GetFocus();
    if (focus != nullptr && IsChild(hwnd_, focus) && IsUsable(focus)) {
      lastFocus_ = focus;
    } else {
      HWND to = IsUsable(lastFocus_) && IsChild(hwnd_, lastFocus_) ? lastFocus_ : nullptr;
      if (to == nullptr && DefaultButton != nullptr && DefaultButton->Usable())
        to = DefaultButton->Handle();
      if (to == nullptr) {
        to = GetNextDlgTabItem(hwnd_, nullptr, FALSE);
        if (!IsUsable(to))
          to = nullptr;
      }
      if (to != nullptr) {
        SetFocus(to);
        lastFocus_ = to;
      }
    }
  }
  TButton* enter = EnterButton();
  for (TButton* b : Buttons())
    b->SetDefault(b == enter);
}
