// The one way the tests find and read windows, of their own process or of a
// program they started: top-level windows by process, class and caption,
// and what a message box (or any dialog of class "#32770") shows.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace testsupport {

std::wstring WindowText(HWND hwnd);  // empty for nullptr
std::wstring WindowClass(HWND hwnd);

struct WindowQuery {
  DWORD pid = 0;                     // 0: any process
  std::wstring cls;                  // empty: any class
  const wchar_t* caption = nullptr;  // nullptr: any caption
  bool visibleOnly = true;
};
// The first top-level window that answers the query; nullptr when none does.
HWND FindTopLevel(const WindowQuery& query);
// A visible top-level window of any process whose caption is exactly this.
HWND FindWindowByCaption(const std::wstring& caption);
// The visible dialog (a message box, the folder picker) of process pid.
HWND FindDialogOf(DWORD pid);

struct MessageBoxView {
  std::wstring caption;
  std::wstring text;
  std::vector<int> buttons;  // their control ids (IDOK, IDYES, ...)
  bool icon = false;
};
MessageBoxView ReadMessageBox(HWND box);

}  // namespace testsupport
