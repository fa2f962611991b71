#include "testsupport/WindowReader.h"

namespace testsupport {

namespace {

struct Search {
  const WindowQuery& query;
  HWND found = nullptr;
};

BOOL CALLBACK Visit(HWND hwnd, LPARAM lp) {
  auto* s = reinterpret_cast<Search*>(lp);
  const WindowQuery& q = s->query;
  DWORD pid = 0;
  GetWindowThreadProcessId(hwnd, &pid);
  if ((q.pid != 0 && pid != q.pid) || (!q.cls.empty() && WindowClass(hwnd) != q.cls) ||
      (q.visibleOnly && !IsWindowVisible(hwnd)) ||
      (q.caption != nullptr && WindowText(hwnd) != q.caption)) {
    return TRUE;
  }
  s->found = hwnd;
  return FALSE;
}

constexpr int kMessageTextId = 0xFFFF;  // the message box's text control
constexpr int kMessageIconId = 0x0440;  // and its icon

}  // namespace

std::wstring WindowText(HWND hwnd) {
  if (hwnd == nullptr)
    return L"";
  const LRESULT n = SendMessageW(hwnd, WM_GETTEXTLENGTH, 0, 0);
  std::wstring text(static_cast<size_t>(n) + 1, L'\0');
  const LRESULT got = SendMessageW(hwnd, WM_GETTEXT, static_cast<WPARAM>(n + 1),
                                   reinterpret_cast<LPARAM>(text.data()));
  text.resize(static_cast<size_t>(got));
  return text;
}

std::wstring WindowClass(HWND hwnd) {
  wchar_t name[64] = {};
  GetClassNameW(hwnd, name, 64);
  return name;
}

HWND FindTopLevel(const WindowQuery& query) {
  Search s{query};
  EnumWindows(Visit, reinterpret_cast<LPARAM>(&s));
  return s.found;
}

HWND FindWindowByCaption(const std::wstring& caption) {
  return FindTopLevel({0, L"", caption.c_str(), true});
}

HWND FindDialogOf(DWORD pid) {
  return FindTopLevel({pid, L"#32770", nullptr, true});
}

MessageBoxView ReadMessageBox(HWND box) {
  MessageBoxView view;
  view.caption = WindowText(box);
  view.text = WindowText(GetDlgItem(box, kMessageTextId));
  for (HWND child = GetWindow(box, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
    if (WindowClass(child) == L"Button")
      view.buttons.push_back(GetDlgCtrlID(child));
  }
  const HWND icon = GetDlgItem(box, kMessageIconId);
  view.icon =
      icon != nullptr && IsWindowVisible(icon) && SendMessageW(icon, STM_GETICON, 0, 0) != 0;
  return view;
}

}  // namespace testsupport
