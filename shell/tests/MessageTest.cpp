// The information message: its caption and its one button. The test plays
// the user: a second thread finds the box by its caption and presses OK.
#include "shell/Global.h"
#include "shell/tests/ShellFixture.h"

namespace {

struct SeenBox {
  std::u16string text;
  bool hasIcon = false;
  int buttons = 0;
};

// Waits for a dialog with that caption, notes what it shows, presses OK.
SeenBox PressOk(const std::u16string& caption) {
  SeenBox seen;
  for (int i = 0; i < 200; ++i) {
    HWND box = FindWindowW(L"#32770", W(caption));
    if (box != nullptr) {
      for (HWND child = GetWindow(box, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        wchar_t cls[32] = {}, text[512] = {};
        GetClassNameW(child, cls, 32);
        GetWindowTextW(child, text, 512);
        const std::u16string c = UpToNul(cls, 32);
        if (c == u"Button")
          ++seen.buttons;
        if (c == u"Static") {
          if (GetWindowLongW(child, GWL_STYLE) & SS_ICON) {
            seen.hasIcon = true;
          } else if (text[0]) {
            seen.text = UpToNul(text, 512);
          }
        }
      }
      PostMessageW(box, WM_COMMAND, IDOK, 0);
      return seen;
    }
    Sleep(50);
  }
  return seen;
}

// The user, on a thread of its own (the message box blocks this one).
class User {
 public:
  explicit User(std::u16string caption) : caption_(std::move(caption)) {
    thread_ = CreateThread(nullptr, 0, Run, this, 0, nullptr);
  }
  ~User() { Join(); }
  const SeenBox& Join() {
    if (thread_ != nullptr) {
      WaitForSingleObject(thread_, INFINITE);
      CloseHandle(thread_);
      thread_ = nullptr;
    }
    return seen_;
  }

 private:
  static DWORD WINAPI Run(void* self) {
    auto* u = static_cast<User*>(self);
    u->seen_ = PressOk(u->caption_);
    return 0;
  }
  std::u16string caption_;
  SeenBox seen_;
  HANDLE thread_ = nullptr;
};

}  // namespace

TEST(InfoMessage, ShowsTheTextUnderTheGivenCaption) {
  User user(u"Drawlet Setup");
  ShowInfoMessage(u"An error occurred extracting files.", u"Drawlet Setup");
  const SeenBox seen = user.Join();
  EXPECT_EQ(seen.text, u"An error occurred extracting files.");
  EXPECT_EQ(seen.buttons, 1);
  EXPECT_TRUE(seen.hasIcon);
}

TEST(InfoMessage, AnEmptyCaptionMeansTheApplicationTitle) {
  SetApplicationTitle(u"Setup - Norvane Drawlet");
  User user(u"Setup - Norvane Drawlet");
  ShowInfoMessage(u"message");
  const SeenBox seen = user.Join();
  EXPECT_EQ(seen.text, u"message");
}

namespace {

struct Press {
  WPARAM button;
  bool found = false;
};

BOOL CALLBACK PressInOurDialog(HWND hwnd, LPARAM param) {
  auto* p = reinterpret_cast<Press*>(param);
  DWORD pid = 0;
  GetWindowThreadProcessId(hwnd, &pid);
  wchar_t cls[32] = {};
  GetClassNameW(hwnd, cls, 32);
  if (pid == GetCurrentProcessId() && IsWindowVisible(hwnd) && UpToNul(cls, 32) == u"#32770") {
    PostMessageW(hwnd, WM_COMMAND, p->button, 0);
    p->found = true;
    return FALSE;
  }
  return TRUE;
}

DWORD WINAPI PressLater(void* param) {
  auto* p = static_cast<Press*>(param);
  for (int i = 0; i < 200 && !p->found; ++i) {
    Sleep(50);
    EnumWindows(PressInOurDialog, reinterpret_cast<LPARAM>(p));
  }
  return 0;
}

std::u16string BrowseAndPress(WPARAM button, bool& found) {
  Press press{button};
  HANDLE t = CreateThread(nullptr, 0, PressLater, &press, 0, nullptr);
  const std::u16string chosen = BrowseForFolder(nullptr, u"Select or create a new folder:");
  WaitForSingleObject(t, INFINITE);
  CloseHandle(t);
  found = press.found;
  return chosen;
}

}  // namespace

TEST(FolderPicker, CancelGivesEmpty) {
  bool found = false;
  EXPECT_EQ(BrowseAndPress(IDCANCEL, found), u"");
  EXPECT_TRUE(found);
}

TEST(FolderPicker, TheRootHasNoFileSystemPath) {
  // The picker opens on My Computer, which is no folder: OK there gives empty.
  bool found = false;
  EXPECT_EQ(BrowseAndPress(IDOK, found), u"");
  EXPECT_TRUE(found);
}
