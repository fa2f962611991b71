// Drives a running Setup.exe from another process, as a person would: finds
// its windows, clicks buttons, types into the destination box, reads what the
// controls show, answers message boxes and captures the window.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "testsupport/ChildProcess.h"
#include "testsupport/WindowReader.h"

class WizardDriver {
 public:
  WizardDriver() = default;
  ~WizardDriver();
  WizardDriver(const WizardDriver&) = delete;
  WizardDriver& operator=(const WizardDriver&) = delete;

  // Starts the program and waits for its wizard window (or for a message box
  // when it shows one first). False when neither appears.
  bool Start(const std::wstring& exe, const std::wstring& arguments = L"");
  // Waits for the wizard window to show; false on timeout.
  bool WaitWizard(DWORD ms = 20000);
  // Ends the program if it still runs.
  void Kill();
  // Waits for the program to end; false on timeout.
  bool WaitExit(DWORD ms = 20000);
  bool Running() const;
  // The program's exit code (STILL_ACTIVE while it runs, -1 without one).
  DWORD ExitCode() const;
  DWORD ProcessId() const { return process_.Id(); }

  HWND Wizard() const { return wizard_; }
  // A visible or hidden top-level window of the program with this caption.
  HWND TopLevel(const std::wstring& caption) const;
  // The descendant of the wizard (or of root) with this control id.
  HWND Control(int id, HWND root = nullptr) const;

  std::wstring Text(int id) const;
  std::wstring WindowCaption() const;
  // The control's own visibility flag (its page may be hidden).
  bool Shown(int id) const;
  bool Enabled(int id) const;
  bool Checked(int id) const;
  int Progress(int id) const;
  RECT WindowRect() const;
  RECT ControlRect(int id) const;  // relative to its parent

  // Clicks a button, then waits until the wizard has settled.
  void Click(int id);
  // Clicks a button without waiting (the click may open a message box).
  void ClickNoWait(int id);
  void SetCheck(int id, bool checked);
  // Replaces the text of an edit box as typing would, then settles.
  void Type(int id, const std::wstring& text);
  void CloseWindow();
  // Presses a key (with Alt, with Shift) through SendInput, as the keyboard
  // would, into the wizard brought to the front; then settles.
  void Press(WORD vk, bool alt = false, bool shift = false);
  // Holds a key down while the keyboard repeats it (repeats presses with
  // no release between them), then lets it go; then settles.
  void Hold(WORD vk, int repeats);
  // Types text through SendInput, character by character; then settles.
  void TypeKeys(const std::wstring& text);
  // The control id of the focused window of the program (0 for none, -1 for
  // a window that is not a control).
  int FocusedId() const;
  // Waits until the wizard's message loop has become idle after everything
  // sent to it so far. False on timeout (a modal box is open, or it hangs).
  bool Settle(DWORD ms = 60000);

  // The text of the message box the program shows, waiting for one; empty
  // when none appears in time.
  std::wstring MessageBoxText(DWORD ms = 20000);
  bool MessageBoxHasIcon() const;
  // Presses OK (or the only button) on the message box, or the button of
  // that id (IDYES, IDNO).
  void AnswerMessageBox(int id = 0);
  std::wstring MessageBoxCaption() const;

  // The program's dialog window (a message box or the folder picker),
  // waiting for one; nullptr when none appears in time.
  HWND WaitDialog(DWORD ms = 20000);

  // Saves the wizard window as it is on the screen, as a 24-bit BMP.
  bool Capture(const std::wstring& bmpPath) const;

 private:
  HWND FindMessageBox() const;
  HWND FindWizard() const;
  testsupport::Process process_;
  HWND wizard_ = nullptr;
};

// Saves a window as it is on the screen, as a 24-bit BMP.
bool CaptureWindow(HWND hwnd, const std::wstring& bmpPath);
// Windows of any process whose caption is exactly this.
using testsupport::FindWindowByCaption;
// The Wine version setting ("winxp64", "win7", or empty to remove it).
void SetWindowsVersion(const std::wstring& version);
