// The information message: its caption and its one button. The test plays
// the user: a second thread finds the box by its caption and presses OK.
#include "shell/Global.h"
#include "shell/tests/ShellFixture.h"
#include "testsupport/Wait.h"
#include "testsupport/WindowReader.h"
#include "win/MessageBox.h"

namespace {

struct SeenBox {
  std::u16string text;
  bool hasIcon = false;
  int buttons = 0;
};

// Waits for a dialog with that caption, notes what it shows, presses OK.
SeenBox PressOk(const std::u16string& caption) {
  HWND box = nullptr;
  if (!testsupport::WaitFor([&] { return (box = FindWindowW(L"#32770", W(caption))) != nullptr; },
                            10000)) {
    return {};
  }
  const testsupport::MessageBoxView view = testsupport::ReadMessageBox(box);
  PostMessageW(box, WM_COMMAND, IDOK, 0);
  return {U(view.text.c_str()), view.icon, static_cast<int>(view.buttons.size())};
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

DWORD WINAPI PressLater(void* param) {
  auto* p = static_cast<Press*>(param);
  HWND dialog = nullptr;
  p->found = testsupport::WaitFor(
      [&] { return (dialog = testsupport::FindDialogOf(GetCurrentProcessId())) != nullptr; },
      10000);
  if (p->found)
    PostMessageW(dialog, WM_COMMAND, p->button, 0);
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
