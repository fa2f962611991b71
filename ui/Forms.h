// Forms built from layout data, the application object with its message
// loop and idle event, the plain dialogs and the clipboard.
#pragma once

#include <windows.h>

#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "ui/Controls.h"

// A top-level window whose controls come from a layout.
class TForm : public TWinControl {
 public:
  // Builds the form and every control of the layout, hidden, scaled to the
  // system's DPI. Raises Error for a layout it cannot read.
  explicit TForm(std::string_view layout);
  ~TForm() override;

  // The control of that name, of that kind; raises Error when there is none.
  template <class T>
  T& Control(const std::string& name) const {
    auto* c = dynamic_cast<T*>(Find(name));
    if (c == nullptr)
      MissingControl(name);
    return *c;
  }
  TControl* Find(const std::string& name) const;

  void Show();
  // Closes the form; closing the main form ends the message loop.
  void Close();
  int ClientWidth() const override;
  int ClientHeight() const override;
  // The outer size of the window (of its client area for a layout that says
  // "client"), in pixels at the system's DPI; the form is centred again.
  void SetSize(int width, int height);

  // Runs when the window is asked to close (its close box, Alt+F4, Close()).
  TNotifyEvent OnClose;
  int ModalResult = 0;

  // The keyboard (ui/Keyboard.cpp). Enter presses the focused button, else
  // DefaultButton when it is visible and enabled; Escape presses CancelButton
  // when it is. Alt with a letter, and the letter alone where the focus takes
  // no characters, presses the button or check box whose caption marks that
  // letter with "&"; where several usable ones share it, it moves the focus
  // to the next of them instead.
  TButton* DefaultButton = nullptr;
  TButton* CancelButton = nullptr;
  // True when the key message was the form's and is not to be passed on.
  bool HandleKey(const MSG& msg);
  // Run each time the application becomes idle: a focus left on a hidden or
  // disabled control (or on none) moves to the control that last had it, if
  // usable, else to DefaultButton, else to the first control Tab reaches; and
  // the button Enter would press is drawn as the default one.
  void KeyboardIdle();
  // Moves the focus to the control when it is usable.
  void FocusControl(const TControl& control);

 protected:
  LRESULT WndProc(UINT msg, WPARAM wp, LPARAM lp) override;

 private:
  explicit TForm(const std::vector<TLayoutItem>& items);
  [[noreturn]] static void MissingControl(const std::string& name);
  void Center();
  // The control Enter presses now, or nullptr.
  TButton* EnterButton() const;
  bool Mnemonic(wchar_t letter);
  std::vector<TButton*> Buttons() const;
  HWND lastFocus_ = nullptr;
  std::vector<std::unique_ptr<TControl>> owned_;
  std::map<std::string, TControl*> byName_;
  bool clientSized_ = false;
};

class TApplication {
 public:
  // Initialises COM as a single-threaded apartment and the common controls.
  TApplication();
  ~TApplication();
  TApplication(const TApplication&) = delete;
  TApplication& operator=(const TApplication&) = delete;

  // The icon of the title bar's size (small) and of Alt+Tab's; forms made
  // later get them. Without a small one the large one is shrunk.
  void SetIcon(HICON icon, HICON smallIcon = nullptr);
  HICON Icon() const { return icon_; }
  HICON SmallIcon() const { return smallIcon_; }
  // The first form made by CreateForm; closing it ends Run.
  TForm* MainForm() const { return main_; }
  template <class T, class... A>
  T* CreateForm(A&&... args) {
    auto form = std::make_unique<T>(std::forward<A>(args)...);
    T* raw = form.get();
    if (main_ == nullptr)
      main_ = raw;
    forms_.push_back(std::move(form));
    return raw;
  }

  // Raised once each time the message queue has been emptied.
  TNotifyEvent OnIdle;
  // Runs the message loop until the main form closes.
  void Run();
  // Handles the messages waiting now, and returns.
  void ProcessMessages();
  void Terminate();
  bool Terminated() const { return terminated_; }
  // How many idle events have been raised. The main form answers the window
  // message named kIdleCountMessage with it, so that automation can wait for
  // the wizard to settle after an input.
  uint32_t IdleCount() const { return idleCount_; }
  // Reports an error that a handler did not catch, in a message box.
  void ShowException(const std::exception& e);

 private:
  bool HandleMessage(MSG& msg);
  std::vector<std::unique_ptr<TForm>> forms_;
  TForm* main_ = nullptr;
  HICON icon_ = nullptr;
  HICON smallIcon_ = nullptr;
  bool terminated_ = false;
  bool comInitialised_ = false;
  uint32_t idleCount_ = 0;
};

// The one application object, made by the program's entry.
extern TApplication* Application;

inline constexpr wchar_t kIdleCountMessage[] = L"NvApplicationIdleCount";

// A message with one OK button, no icon, the application title as caption.
void ShowMessage(const std::u16string& text);
// A warning answered Yes or No, No the default; true for Yes.
bool AskWarning(const std::u16string& text);
// Puts Unicode text on the clipboard, replacing what it held. False when the
// clipboard could not be opened.
bool SetClipboardText(HWND owner, const std::u16string& text);

// The bytes of a resource of the program's own module; raises Error naming
// the resource when it is missing.
std::string_view ResourceData(const wchar_t* type, const std::u16string& name);
// A string of the program's own string table; empty when it has none.
std::u16string ResourceString(UINT id);
// A JPEG picture decoded into a 24-bit bitmap; raises Error when it is not
// one libjpeg can read.
HBITMAP DecodeJpeg(std::string_view jpeg);
// A bitmap resource of the program's own module; raises Error when missing.
HBITMAP LoadBitmapResource(const std::u16string& name);
// The operating system's major version number, as the system tells it
// (win/Version.h), not as a compatibility layer would.
DWORD WindowsMajorVersion();
