#include "testsupport/WizardDriver.h"

#include <commctrl.h>

#include <cstdio>
#include <vector>

#include "testsupport/Wait.h"
#include "testsupport/WindowReader.h"

using testsupport::FindTopLevel;
using testsupport::WaitFor;
using testsupport::WindowText;

namespace {

struct ChildSearch {
  int id;
  HWND found = nullptr;
};

BOOL CALLBACK FindChild(HWND hwnd, LPARAM lp) {
  auto* s = reinterpret_cast<ChildSearch*>(lp);
  if (GetDlgCtrlID(hwnd) == s->id) {
    s->found = hwnd;
    return FALSE;
  }
  return TRUE;
}

}  // namespace

WizardDriver::~WizardDriver() {
  Kill();
}

bool WizardDriver::Start(const std::wstring& exe, const std::wstring& arguments) {
  testsupport::Process::Options options;
  options.program = exe;
  if (!process_.Start(L"\"" + exe + L"\"" + (arguments.empty() ? L"" : L" " + arguments), options))
    return false;
  WaitFor(
      [&] {
        wizard_ = FindWizard();
        return wizard_ != nullptr || FindMessageBox() != nullptr || !Running();
      },
      30000);
  if (wizard_ != nullptr)
    Settle();
  return wizard_ != nullptr || FindMessageBox() != nullptr;
}

bool WizardDriver::WaitWizard(DWORD ms) {
  WaitFor(
      [&] {
        wizard_ = FindWizard();
        return wizard_ != nullptr || !Running();
      },
      ms);
  return wizard_ != nullptr && Settle();
}

void WizardDriver::Kill() {
  process_.Kill();
  wizard_ = nullptr;
}

bool WizardDriver::WaitExit(DWORD ms) {
  return !process_.Started() || process_.Wait(ms);
}

bool WizardDriver::Running() const {
  return process_.Running();
}

DWORD WizardDriver::ExitCode() const {
  return process_.ExitCode();
}

HWND WizardDriver::FindWizard() const {
  return FindTopLevel({process_.Id(), L"NvControl", nullptr, true});
}

HWND WizardDriver::TopLevel(const std::wstring& caption) const {
  return FindTopLevel({process_.Id(), L"", caption.c_str(), false});
}

HWND WizardDriver::Control(int id, HWND root) const {
  ChildSearch s{id};
  EnumChildWindows(root != nullptr ? root : wizard_, FindChild, reinterpret_cast<LPARAM>(&s));
  return s.found;
}

std::wstring WizardDriver::Text(int id) const {
  return WindowText(Control(id));
}

std::wstring WizardDriver::WindowCaption() const {
  return WindowText(wizard_);
}

bool WizardDriver::Shown(int id) const {
  return (GetWindowLongPtrW(Control(id), GWL_STYLE) & WS_VISIBLE) != 0;
}

bool WizardDriver::Enabled(int id) const {
  return IsWindowEnabled(Control(id)) != FALSE;
}

bool WizardDriver::Checked(int id) const {
  return SendMessageW(Control(id), BM_GETCHECK, 0, 0) == BST_CHECKED;
}

int WizardDriver::Progress(int id) const {
  return static_cast<int>(SendMessageW(Control(id), PBM_GETPOS, 0, 0));
}

RECT WizardDriver::WindowRect() const {
  RECT rc{};
  GetWindowRect(wizard_, &rc);
  return rc;
}

RECT WizardDriver::ControlRect(int id) const {
  HWND c = Control(id);
  RECT rc{};
  GetWindowRect(c, &rc);
  MapWindowPoints(nullptr, GetParent(c), reinterpret_cast<POINT*>(&rc), 2);
  return rc;
}

void WizardDriver::Click(int id) {
  ClickNoWait(id);
  Settle();
}

void WizardDriver::ClickNoWait(int id) {
  PostMessageW(Control(id), BM_CLICK, 0, 0);
}

void WizardDriver::SetCheck(int id, bool checked) {
  if (Checked(id) != checked)
    Click(id);
}

void WizardDriver::Type(int id, const std::wstring& text) {
  SendMessageW(Control(id), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
  Settle();
}

namespace {

INPUT KeyInput(WORD vk, bool up) {
  INPUT in{};
  in.type = INPUT_KEYBOARD;
  in.ki.wVk = vk;
  in.ki.wScan = static_cast<WORD>(MapVirtualKeyW(vk, MAPVK_VK_TO_VSC));
  in.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
  return in;
}

}  // namespace

void WizardDriver::Press(WORD vk, bool alt, bool shift) {
  // The keys go to the foreground window of the program, whichever it is.
  HWND front = FindMessageBox();
  SetForegroundWindow(front != nullptr ? front : wizard_);
  std::vector<INPUT> keys;
  if (alt)
    keys.push_back(KeyInput(VK_MENU, false));
  if (shift)
    keys.push_back(KeyInput(VK_SHIFT, false));
  keys.push_back(KeyInput(vk, false));
  keys.push_back(KeyInput(vk, true));
  if (shift)
    keys.push_back(KeyInput(VK_SHIFT, true));
  if (alt)
    keys.push_back(KeyInput(VK_MENU, true));
  SendInput(static_cast<UINT>(keys.size()), keys.data(), sizeof(INPUT));
  if (Running() && FindMessageBox() == nullptr)
    Settle(5000);
}

void WizardDriver::Hold(WORD vk, int repeats) {
  SetForegroundWindow(wizard_);
  std::vector<INPUT> keys(static_cast<size_t>(repeats) + 1, KeyInput(vk, false));
  keys.push_back(KeyInput(vk, true));
  SendInput(static_cast<UINT>(keys.size()), keys.data(), sizeof(INPUT));
  if (Running() && FindMessageBox() == nullptr)
    Settle(5000);
}

void WizardDriver::TypeKeys(const std::wstring& text) {
  SetForegroundWindow(wizard_);
  std::vector<INPUT> keys;
  for (wchar_t c : text) {
    for (bool up : {false, true}) {
      INPUT in{};
      in.type = INPUT_KEYBOARD;
      in.ki.wScan = c;
      in.ki.dwFlags = KEYEVENTF_UNICODE | (up ? KEYEVENTF_KEYUP : 0);
      keys.push_back(in);
    }
  }
  SendInput(static_cast<UINT>(keys.size()), keys.data(), sizeof(INPUT));
  Settle();
}

int WizardDriver::FocusedId() const {
  GUITHREADINFO info{};
  info.cbSize = sizeof info;
  if (!GetGUIThreadInfo(process_.ThreadId(), &info) || info.hwndFocus == nullptr)
    return 0;
  if (info.hwndFocus == wizard_)
    return -1;
  return GetDlgCtrlID(info.hwndFocus);
}

void WizardDriver::CloseWindow() {
  PostMessageW(wizard_, WM_CLOSE, 0, 0);
}

bool WizardDriver::Settle(DWORD ms) {
  static const UINT query = RegisterWindowMessageW(L"NvApplicationIdleCount");
  DWORD_PTR first = 0;
  if (!SendMessageTimeoutW(wizard_, query, 0, 0, SMTO_NORMAL, ms, &first))
    return false;
  // Each query wakes the loop, which becomes idle again once it is answered:
  // a later count shows that an idle event ran after everything sent before.
  // A program that ended, or that has since opened a dialog and waits in its
  // loop, will not become idle: that is known at once, not at the deadline.
  // (A dialog open already may be closing: that is waited for.)
  const bool dialogBefore = FindMessageBox() != nullptr;
  bool idle = false;
  WaitFor(
      [&] {
        if (!Running() || (!dialogBefore && FindMessageBox() != nullptr))
          return true;
        DWORD_PTR now = 0;
        idle = SendMessageTimeoutW(wizard_, query, 0, 0, SMTO_NORMAL, 1000, &now) && now > first;
        return idle;
      },
      ms);
  return idle;
}

HWND WizardDriver::FindMessageBox() const {
  return testsupport::FindDialogOf(process_.Id());
}

HWND WizardDriver::WaitDialog(DWORD ms) {
  HWND box = nullptr;
  WaitFor(
      [&] {
        box = FindMessageBox();
        return box != nullptr;
      },
      ms);
  return box;
}

std::wstring WizardDriver::MessageBoxText(DWORD ms) {
  const HWND box = WaitDialog(ms);
  return box != nullptr ? testsupport::ReadMessageBox(box).text : L"";
}

std::wstring WizardDriver::MessageBoxCaption() const {
  return WindowText(FindMessageBox());
}

bool WizardDriver::MessageBoxHasIcon() const {
  return testsupport::ReadMessageBox(FindMessageBox()).icon;
}

void WizardDriver::AnswerMessageBox(int id) {
  HWND box = FindMessageBox();
  if (box == nullptr)
    return;
  if (id == 0)
    id = GetDlgItem(box, IDOK) != nullptr ? IDOK : IDCANCEL;
  PostMessageW(box, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
               reinterpret_cast<LPARAM>(GetDlgItem(box, id)));
  WaitFor([&] { return !IsWindow(box); }, 10000);
  if (wizard_ != nullptr && Running())
    Settle();
}

bool WizardDriver::Capture(const std::wstring& bmpPath) const {
  return CaptureWindow(wizard_, bmpPath);
}

bool CaptureWindow(HWND hwnd, const std::wstring& bmpPath) {
  RECT rc{};
  GetWindowRect(hwnd, &rc);
  const int w = rc.right - rc.left, h = rc.bottom - rc.top;
  if (w <= 0 || h <= 0)
    return false;
  HDC screen = GetDC(nullptr);
  HDC mem = CreateCompatibleDC(screen);
  BITMAPINFO bi{};
  bi.bmiHeader.biSize = sizeof bi.bmiHeader;
  bi.bmiHeader.biWidth = w;
  bi.bmiHeader.biHeight = h;
  bi.bmiHeader.biPlanes = 1;
  bi.bmiHeader.biBitCount = 24;
  void* bits = nullptr;
  HBITMAP bmp = CreateDIBSection(screen, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
  HGDIOBJ old = SelectObject(mem, bmp);
  BitBlt(mem, 0, 0, w, h, screen, rc.left, rc.top, SRCCOPY);
  GdiFlush();
  const DWORD stride = (static_cast<DWORD>(w) * 3 + 3) & ~3u;
  BITMAPFILEHEADER fh{};
  fh.bfType = 0x4D42;
  fh.bfOffBits = sizeof fh + sizeof bi.bmiHeader;
  fh.bfSize = fh.bfOffBits + stride * static_cast<DWORD>(h);
  bool ok = false;
  if (FILE* f = _wfopen(bmpPath.c_str(), L"wb")) {
    ok = fwrite(&fh, sizeof fh, 1, f) == 1 &&
         fwrite(&bi.bmiHeader, sizeof bi.bmiHeader, 1, f) == 1 &&
         fwrite(bits, stride * static_cast<DWORD>(h), 1, f) == 1;
    ok = fclose(f) == 0 && ok;
  }
  SelectObject(mem, old);
  DeleteObject(bmp);
  DeleteDC(mem);
  ReleaseDC(nullptr, screen);
  return ok;
}

void SetWindowsVersion(const std::wstring& version) {
  HKEY key = nullptr;
  if (RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\Wine", 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                      &key, nullptr) != ERROR_SUCCESS) {
    return;
  }
  if (version.empty()) {
    RegDeleteValueW(key, L"Version");
  } else {
    RegSetValueExW(key, L"Version", 0, REG_SZ, reinterpret_cast<const BYTE*>(version.c_str()),
                   static_cast<DWORD>((version.size() + 1) * sizeof(wchar_t)));
  }
  RegCloseKey(key);
}
