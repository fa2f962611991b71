// The wizard's window, driven from outside through its control ids.
#include <commctrl.h>
#include <gtest/gtest.h>
#include <shlobj.h>
#include <tlhelp32.h>

#include <string>
#include <vector>

#include "app/tests/SetupPrograms.h"
#include "shell/Drives.h"
#include "shell/Hardening.h"
#include "shell/Shortcut.h"
#include "testsupport/Wait.h"
#include "testsupport/WineHost.h"
#include "win/WideText.h"

using testsupport::ProcessRunning;
using testsupport::WaitFor;

namespace {

std::wstring ProgramFilesDefault() {
  return Env(L"PROGRAMFILES") + L"\\Norvane Soft\\Drawlet";
}

void ExpectPage(WizardDriver& d, int page) {
  const int panels[] = {idPnlStep1, idPnlStep2, idPnlStep3, idPnlStep4};
  for (int i = 0; i < 4; ++i)
    EXPECT_EQ(d.Shown(panels[i]), i + 1 == page) << "page " << i + 1;
  EXPECT_EQ(d.Shown(idBtnPrev), page == 2 || page == 3);
  EXPECT_EQ(d.Shown(idBtnClose), page < 4);
  EXPECT_TRUE(d.Shown(idBtnNext));
}

// Starts a program and checks that its wizard came up.
#define START(driver, program) ASSERT_TRUE((driver).Start(SetupProgram(program))) << program

}  // namespace

TEST(Wizard, ChineseRunWalksThePagesAndCancelEndsIt) {
  WizardDriver d;
  START(d, "Setup");
  ASSERT_NE(d.Wizard(), nullptr);
  EXPECT_EQ(d.WindowCaption(), L"安装向导 - 诺凡画图");
  ExpectPage(d, 1);
  EXPECT_EQ(d.Text(idBtnNext), L"下一步");
  EXPECT_EQ(d.Text(idBtnPrev), L"上一步");
  EXPECT_EQ(d.Text(idBtnClose), L"取 消");
  EXPECT_TRUE(d.Enabled(idBtnNext));
  EXPECT_EQ(d.Text(idLblWelcome), L"欢迎使用 诺凡画图 V3.50 安装\n向导");
  EXPECT_EQ(d.Text(idLblWillInstall),
            L"此向导将引导您完成安装过程。\n\n单击 [下一步] 继续，单击 [取消] 退出安装。");
  // The Chinese run moves the welcome texts.
  EXPECT_EQ(d.ControlRect(idLblWelcome).left, 193);
  EXPECT_EQ(d.ControlRect(idLblWelcome).top, 40);
  EXPECT_EQ(d.ControlRect(idLblWillInstall).left, 193);
  EXPECT_EQ(d.ControlRect(idLblWillInstall).top, 116);
  EXPECT_EQ(d.ControlRect(idLblComplete).left, 203);
  EXPECT_EQ(d.ControlRect(idLblComplete).top, 28);
  EXPECT_EQ(d.Text(idLblLicense), L"在安装之前，请阅读许可协议");
  EXPECT_EQ(d.Text(idLblComplete), L"诺凡画图 V3.50 安装成功。");
  EXPECT_EQ(d.Text(idLblNeedSize), L"所需空间: 6 MB");
  EXPECT_EQ(d.Text(idChkRunOnExit), L"立即运行软件");
  const std::wstring licence = d.Text(idMemo2);
  EXPECT_EQ(licence.rfind(L"诺凡画图 用户许可协议\r\n\r\n", 0), 0u) << licence.substr(0, 40);
  // The freeware flag of the shipped settings leaves clause 3 out.
  EXPECT_EQ(licence.find(L"3. 您可以自由复制"), std::wstring::npos);
  EXPECT_NE(licence.find(L"5. 若您未能遵守"), std::wstring::npos);

  // The banner fills the left edge of the welcome page.
  EXPECT_EQ(d.ControlRect(idImage1).left, 0);
  EXPECT_EQ(d.ControlRect(idImage1).right, 160);
  EXPECT_EQ(d.ControlRect(idImage1).bottom, 308);

  d.Click(idBtnNext);
  ExpectPage(d, 2);
  EXPECT_EQ(d.Text(idBtnNext), L"我同意");
  // Pages hidden at creation get their header band and picture once shown.
  RECT client{};
  GetClientRect(d.Wizard(), &client);
  EXPECT_EQ(d.ControlRect(idPanel3).right, client.right);
  EXPECT_EQ(d.ControlRect(idPanel3).bottom, 56);
  EXPECT_EQ(d.ControlRect(idImage2).right, client.right);
  EXPECT_EQ(d.ControlRect(idImage2).left, client.right - 67);
  EXPECT_EQ(d.ControlRect(idBevel2).top, 56);
  d.Click(idBtnNext);
  ExpectPage(d, 3);
  EXPECT_EQ(d.Text(idBtnNext), L"安 装");
  EXPECT_EQ(d.ControlRect(idPanel4).right, client.right);
  EXPECT_EQ(d.Text(idEditSetupDir), ProgramFilesDefault());
  EXPECT_TRUE(d.Shown(idLblFreeSize));
  EXPECT_EQ(d.Text(idLblFreeSize).rfind(L"剩余空间: ", 0), 0u);
  EXPECT_TRUE(d.Enabled(idBtnNext));
  EXPECT_TRUE(d.Checked(idChkSCOnDesktop));

  d.Click(idBtnPrev);
  ExpectPage(d, 2);
  EXPECT_EQ(d.Text(idBtnNext), L"我同意");
  d.Click(idBtnPrev);
  ExpectPage(d, 1);
  EXPECT_EQ(d.Text(idBtnNext), L"下一步");
  d.Click(idBtnNext);
  d.Click(idBtnNext);
  ExpectPage(d, 3);
  EXPECT_EQ(d.Text(idEditSetupDir), ProgramFilesDefault());

  d.ClickNoWait(idBtnClose);
  EXPECT_TRUE(d.WaitExit());
  // Closed before Install: the exit code of a cancelled setup.
  EXPECT_EQ(d.ExitCode(), 1602u);
}

TEST(Wizard, FreeSpaceLineFollowsTheTypedDestination) {
  WizardDriver d;
  START(d, "SetupEn");
  d.Click(idBtnNext);
  d.Click(idBtnNext);
  ExpectPage(d, 3);
  struct Case {
    const wchar_t* text;
    bool shown;
  };
  const Case cases[] = {
      {L"C:\\Apps", true},   {L"c:\\apps", true},
      {L"C:apps", false},    {L"\\\\server\\share", false},
      {L"", false},          {L"Q:\\Apps", false},
      {L"C:", false},        {L"C:\\", true},
      {L" C:\\Apps", false},
  };
  for (const Case& c : cases) {
    d.Type(idEditSetupDir, c.text);
    EXPECT_EQ(d.Shown(idLblFreeSize), c.shown) << "'" << U(c.text).size() << "' " << c.shown;
    EXPECT_EQ(d.Enabled(idBtnNext), c.shown);
    if (c.shown) {
      // The drive is asked for as typed: drive C's figure, in either case
      // (which figure, on a drive of known size: WizardKeys).
      const std::wstring line = d.Text(idLblFreeSize);
      EXPECT_EQ(line.rfind(L"Space available: ", 0), 0u) << line.size();
      EXPECT_EQ(line.find(L"-1 Bytes"), std::wstring::npos) << "the drive was not read";
    }
  }
  // Back and Next keep the text.
  d.Type(idEditSetupDir, L"C:\\Kept");
  d.Click(idBtnPrev);
  d.Click(idBtnNext);
  EXPECT_EQ(d.Text(idEditSetupDir), L"C:\\Kept");
  EXPECT_EQ(d.Text(idBtnNext), L"&Install");
  EXPECT_TRUE(d.Enabled(idBtnNext));
  d.CloseWindow();
  EXPECT_TRUE(d.WaitExit());
}

TEST(Wizard, EnglishRunShowsTheEnglishTextsAndTips) {
  WizardDriver d;
  START(d, "SetupEn");
  EXPECT_EQ(d.WindowCaption(), L"Setup - Norvane Drawlet");
  EXPECT_EQ(d.Text(idBtnNext), L"&Next >");
  EXPECT_EQ(d.Text(idBtnPrev), L"< &Back");
  EXPECT_EQ(d.Text(idBtnClose), L"Cancel");
  EXPECT_EQ(d.Text(idLblWelcome), L"Welcome to the Norvane Drawlet 3.50 Setup Wizard");
  EXPECT_EQ(d.Text(idLblLicense), L"License Agreement");
  EXPECT_EQ(d.ControlRect(idLblLicense).top, 9);
  EXPECT_EQ(d.ControlRect(idLblFolder).top, 9);
  EXPECT_EQ(d.Text(idLblFolderTip), L"Where should Norvane Drawlet be installed?");
  EXPECT_EQ(d.Text(idGbFolder), L"Destination Folder");
  EXPECT_EQ(d.Text(idBtnBrowse), L"&Browse...");
  EXPECT_EQ(d.Text(idLblNeedSize), L"Space required: 6 MB");
  EXPECT_EQ(d.Text(idChkSCOnDesktop), L"Create a desktop icon");
  EXPECT_EQ(d.Text(idChkRunOnExit), L"Launch Norvane Drawlet");
  EXPECT_EQ(d.ControlRect(idChkRunOnExit).left, 186);
  EXPECT_EQ(d.ControlRect(idChkRunOnExit).top, 170);
  EXPECT_EQ(d.Text(idLblComplete), L"Completing the Norvane Drawlet Setup Wizard");
  const std::wstring licence = d.Text(idMemo2);
  EXPECT_EQ(licence.rfind(L"End User License Agreement\r\n", 0), 0u);
  EXPECT_NE(licence.find(L"may not be used for any commercial purposes"), std::wstring::npos);
  d.Click(idBtnNext);
  EXPECT_EQ(d.Text(idBtnNext), L"I &Agree");
  d.Click(idBtnNext);
  EXPECT_EQ(d.Text(idBtnNext), L"&Install");
  // The close box ends the program on any page.
  d.CloseWindow();
  EXPECT_TRUE(d.WaitExit());
}

// Wine takes the ANSI code page from the locale it was started in, so this
// case runs twice: under LC_ALL=C (1252) and under LC_ALL=zh_CN.UTF-8 (936).
TEST(Wizard, LanguageByCodePage) {
  const std::wstring expected = Env(L"TEST_EXPECT_ACP");
  if (!expected.empty()) {
    ASSERT_EQ(std::to_wstring(GetACP()), expected);
  }
  WizardDriver d;
  START(d, "SetupAuto");
  EXPECT_EQ(d.WindowCaption(),
            GetACP() == 936 ? L"安装向导 - 诺凡画图" : L"Setup - Norvane Drawlet");
  // One setup of a product at a time: each ends before the next.
  d.Kill();
  if (!expected.empty())
    return;  // the rest does not depend on the code page
  // "0" and "2" do not look at the code page.
  WizardDriver zh;
  START(zh, "Setup");
  EXPECT_EQ(zh.WindowCaption(), L"安装向导 - 诺凡画图");
  zh.Kill();
  WizardDriver en;
  START(en, "SetupEn");
  EXPECT_EQ(en.WindowCaption(), L"Setup - Norvane Drawlet");
}

TEST(Wizard, WindowSizeAndQuickLaunchByWindowsVersion) {
  {
    WizardDriver d;
    START(d, "Setup");
    const RECT rc = d.WindowRect();
    EXPECT_EQ(rc.right - rc.left, 503);
    EXPECT_EQ(rc.bottom - rc.top, 398);
    EXPECT_FALSE(d.Shown(idChkSCOnQuick));
  }
  {
    ScopedWindowsVersion xp(L"winxp64");
    WizardDriver d;
    START(d, "Setup");
    const RECT rc = d.WindowRect();
    EXPECT_EQ(rc.right - rc.left, 503);
    EXPECT_EQ(rc.bottom - rc.top, 385);
    EXPECT_TRUE(d.Shown(idChkSCOnQuick));
    EXPECT_TRUE(d.Checked(idChkSCOnQuick));
    // The hidden conflict notice keeps Tahoma on XP; nothing to see there.
  }
}

TEST(Wizard, DefaultDestinationFromAnEarlierInstallationsShortcut) {
  // A shortcut in Quick Launch named after the product proposes its folder.
  const std::u16string quick = GetShellFolder(1);
  ASSERT_FALSE(quick.empty());
  SHCreateDirectoryExW(nullptr, W(quick), nullptr);
  CreateShortcut(u"C:\\Tools\\Drawlet\\Drawlet.exe", u"", u"诺凡画图", 1, u"");
  {
    WizardDriver d;
    START(d, "Setup");
    d.Click(idBtnNext);
    d.Click(idBtnNext);
    EXPECT_EQ(d.Text(idEditSetupDir), L"C:\\Tools\\Drawlet");
    EXPECT_TRUE(d.Shown(idLblFreeSize));
  }
  // One whose target lies in a drive's root proposes "C:", which keeps
  // Install disabled until the text changes.
  CreateShortcut(u"C:\\Drawlet.exe", u"", u"诺凡画图", 1, u"");
  {
    WizardDriver d;
    START(d, "Setup");
    d.Click(idBtnNext);
    d.Click(idBtnNext);
    EXPECT_EQ(d.Text(idEditSetupDir), L"C:");
    EXPECT_FALSE(d.Shown(idLblFreeSize));
    EXPECT_FALSE(d.Enabled(idBtnNext));
  }
  DeleteFileW(W(quick + u"\\诺凡画图.lnk"));
  // The desktop is asked when Quick Launch has none.
  CreateShortcut(u"C:\\Games\\Drawlet\\Drawlet.exe", u"", u"诺凡画图", 0, u"");
  {
    WizardDriver d;
    START(d, "Setup");
    d.Click(idBtnNext);
    d.Click(idBtnNext);
    EXPECT_EQ(d.Text(idEditSetupDir), L"C:\\Games\\Drawlet");
  }
  DeleteFileW(W(GetShellFolder(0) + u"\\诺凡画图.lnk"));
  {
    WizardDriver d;
    START(d, "Setup");
    d.Click(idBtnNext);
    d.Click(idBtnNext);
    EXPECT_EQ(d.Text(idEditSetupDir), ProgramFilesDefault());
  }
}

namespace {

struct ChildOfClass {
  const wchar_t* cls;
  std::wstring text;  // empty: any
  HWND found = nullptr;
};

BOOL CALLBACK FindChildOfClass(HWND hwnd, LPARAM lp) {
  auto* s = reinterpret_cast<ChildOfClass*>(lp);
  wchar_t cls[64] = {}, text[256] = {};
  GetClassNameW(hwnd, cls, 64);
  SendMessageW(hwnd, WM_GETTEXT, 256, reinterpret_cast<LPARAM>(text));
  if (std::wstring(cls) == s->cls && (s->text.empty() || s->text == text)) {
    s->found = hwnd;
    return FALSE;
  }
  return TRUE;
}

HWND ChildWindow(HWND parent, const wchar_t* cls, const std::wstring& text = L"") {
  ChildOfClass s{cls, text};
  EnumChildWindows(parent, FindChildOfClass, reinterpret_cast<LPARAM>(&s));
  return s.found;
}

}  // namespace

TEST(Wizard, BrowsePicksAFolderAndAlwaysShowsTheFreeSpace) {
  WizardDriver d;
  START(d, "SetupEn");
  d.Click(idBtnNext);
  d.Click(idBtnNext);
  d.Type(idEditSetupDir, L"C:apps");
  ASSERT_FALSE(d.Shown(idLblFreeSize));

  // Cancelled, nothing changes.
  d.ClickNoWait(idBtnBrowse);
  HWND picker = d.WaitDialog();
  ASSERT_NE(picker, nullptr);
  EXPECT_NE(ChildWindow(picker, L"Static", L"Select or create a new folder:"), nullptr);
  PostMessageW(picker, WM_COMMAND, IDCANCEL, 0);
  ASSERT_TRUE(d.Settle());
  EXPECT_EQ(d.Text(idEditSetupDir), L"C:apps");
  EXPECT_FALSE(d.Shown(idLblFreeSize));

  // A drive picked in the tree under My Computer.
  d.ClickNoWait(idBtnBrowse);
  picker = d.WaitDialog();
  ASSERT_NE(picker, nullptr);
  HWND tree = nullptr;
  ASSERT_TRUE(WaitFor([&] {
    tree = ChildWindow(picker, L"SysTreeView32");
    return tree != nullptr;
  }));
  const auto root = SendMessageW(tree, TVM_GETNEXTITEM, TVGN_ROOT, 0);
  ASSERT_NE(root, 0);
  SendMessageW(tree, TVM_EXPAND, TVE_EXPAND, root);
  const auto drive = SendMessageW(tree, TVM_GETNEXTITEM, TVGN_CHILD, root);
  ASSERT_NE(drive, 0);
  SendMessageW(tree, TVM_SELECTITEM, TVGN_CARET, drive);
  ASSERT_EQ(SendMessageW(tree, TVM_GETNEXTITEM, TVGN_CARET, 0), drive);
  PostMessageW(picker, WM_COMMAND, IDOK, 0);
  ASSERT_TRUE(d.Settle());
  const std::wstring picked = d.Text(idEditSetupDir);
  EXPECT_EQ(picked.size(), 3u) << "a drive's root";
  EXPECT_EQ(picked.substr(1), L":\\");
  // Shown whatever the drive: the line follows the pick, not the rule.
  EXPECT_TRUE(d.Shown(idLblFreeSize));
  EXPECT_TRUE(d.Enabled(idBtnNext));
  d.CloseWindow();
  EXPECT_TRUE(d.WaitExit());
}

TEST(Wizard, ConflictNoticeIsMadeButNeverShown) {
  WizardDriver d;
  START(d, "Setup");
  HWND notice = d.TopLevel(L"温馨提示 - 诺凡画图");
  ASSERT_NE(notice, nullptr);
  EXPECT_FALSE(IsWindowVisible(notice));
  const std::wstring body = [&] {
    HWND content = d.Control(idLblContent, notice);
    wchar_t buf[1024] = {};
    SendMessageW(content, WM_GETTEXT, 1024, reinterpret_cast<LPARAM>(buf));
    return std::wstring(buf);
  }();
  EXPECT_EQ(body.rfind(L"首先，感谢您使用“诺凡画图”软件。\n\n但由于", 0), 0u);
  RECT client{};
  GetClientRect(notice, &client);
  EXPECT_EQ(client.right, 512);
  EXPECT_EQ(client.bottom, 322);
  d.Click(idBtnNext);
  d.Click(idBtnNext);
  EXPECT_FALSE(IsWindowVisible(notice));

  // Its copy button puts the address on the clipboard and says so, in a box
  // with the application title.
  PostMessageW(d.Control(idButton1, notice), BM_CLICK, 0, 0);
  EXPECT_EQ(d.MessageBoxText(), L"复制成功，请粘贴到浏览器的地址栏中打开。");
  EXPECT_EQ(d.MessageBoxCaption(), L"安装向导 - 诺凡画图");
  EXPECT_FALSE(d.MessageBoxHasIcon());
  d.AnswerMessageBox();
  ASSERT_TRUE(OpenClipboard(nullptr));
  HANDLE data = GetClipboardData(CF_UNICODETEXT);
  ASSERT_NE(data, nullptr);
  EXPECT_EQ(std::wstring(static_cast<const wchar_t*>(GlobalLock(data))),
            L"http://www.norvane.com/index_chs.shtml");
  GlobalUnlock(data);
  CloseClipboard();
  // Its leave button only sets the modal result: nothing shows.
  PostMessageW(d.Control(idButton2, notice), BM_CLICK, 0, 0);
  ASSERT_TRUE(d.Settle());
  EXPECT_FALSE(IsWindowVisible(notice));
  EXPECT_TRUE(d.Running());
}

TEST(Wizard, StartupFailuresAreReported) {
  {
    // A language that is not a number stops before any window.
    WizardDriver d;
    START(d, "SetupBadLanguage");
    EXPECT_EQ(d.Wizard(), nullptr);
    EXPECT_EQ(d.MessageBoxText(), L"'zh' is not a valid integer value");
    d.AnswerMessageBox();
    EXPECT_TRUE(d.WaitExit());
  }
  // A language without a banner: HalfPreparedWizardNeverStartsAProgram.
  {
    WizardDriver d;
    START(d, "SetupBadFreeware");
    EXPECT_EQ(d.MessageBoxText(), L"'maybe' is not a valid boolean value");
    EXPECT_EQ(d.MessageBoxCaption(), L"SetupBadFreeware");
    d.AnswerMessageBox();
    ASSERT_TRUE(d.WaitWizard());
    d.CloseWindow();
    EXPECT_TRUE(d.WaitExit());
  }
}

TEST(Wizard, HalfPreparedWizardNeverStartsAProgram) {
  // A language without a banner: the error names it, and the form shows as
  // far as it was prepared (no texts of either language). The product's
  // program lies on the search path: with empty captions everywhere, Next
  // must neither take the Finish action (which would start "Drawlet.exe"
  // from the search path) nor install.
  const std::wstring stage = BuildPath(SAMPLE_STAGE_DIR);
  ScopedEnv path(L"PATH", (stage + L";" + Env(L"PATH")).c_str());
  ASSERT_FALSE(ProcessRunning(L"Drawlet.exe"));
  WizardDriver d;
  START(d, "SetupBadBanner");
  EXPECT_EQ(d.MessageBoxText(), L"Resource ImageLeft5 not found");
  d.AnswerMessageBox();
  ASSERT_TRUE(d.WaitWizard());
  EXPECT_EQ(d.WindowCaption(), L"");
  EXPECT_EQ(d.Text(idBtnNext), L"");
  EXPECT_EQ(d.Text(idEditSetupDir), L"");
  EXPECT_FALSE(d.Enabled(idBtnNext));
  // Clicked as a person would, and its command sent straight to the window
  // as well, past the disabled button.
  d.Click(idBtnNext);
  PostMessageW(d.Wizard(), WM_COMMAND, MAKEWPARAM(idBtnNext, BN_CLICKED),
               reinterpret_cast<LPARAM>(d.Control(idBtnNext)));
  // Both were handled once the wizard is idle again; a program started then
  // would be a process by now.
  ASSERT_TRUE(d.Settle());
  EXPECT_FALSE(ProcessRunning(L"Drawlet.exe")) << "a program was started";
  EXPECT_TRUE(d.Running());
  EXPECT_EQ(d.WindowCaption(), L"");
  d.CloseWindow();
  EXPECT_TRUE(d.WaitExit());
}

// Whether this process can read another's memory, which a list of its
// modules is read from. Wine reads it through the Unix process's memory file,
// which under user-mode emulation (the 32-bit test beds on a kernel without
// 32-bit support) holds the emulator's address space, not the program's.
bool CanReadMemoryOf(DWORD pid) {
  using Query = LONG(NTAPI*)(HANDLE, ULONG, void*, ULONG, ULONG*);
  const auto query = reinterpret_cast<Query>(reinterpret_cast<void*>(
      GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQueryInformationProcess")));
  const HANDLE h = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, pid);
  if (query == nullptr || h == nullptr)
    return false;
  struct {
    LONG exitStatus;
    void* peb;
    ULONG_PTR affinity;
    LONG basePriority;
    ULONG_PTR pid, parent;
  } basic{};
  void* first = nullptr;
  SIZE_T got = 0;
  const bool ok = query(h, 0, &basic, sizeof basic, nullptr) >= 0 &&
                  ReadProcessMemory(h, basic.peb, &first, sizeof first, &got) &&
                  got == sizeof first;
  CloseHandle(h);
  return ok;
}

TEST(Wizard, SystemDllsArePreloadedFromTheSystemDirectory) {
  // The system DLLs that Windows loads by name later are in the process,
  // from the system directory, by the time the wizard shows; a planted copy
  // of one could no longer be taken (the rule itself is tested in the shell
  // tests with a child program started beside planted DLLs).
  WizardDriver d;
  START(d, "Setup");
  ASSERT_NE(d.Wizard(), nullptr);
  wchar_t system[MAX_PATH] = {};
  GetSystemDirectoryW(system, MAX_PATH);
  std::vector<std::wstring> loaded;
  const HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPMODULE, d.ProcessId());
  if (snap == INVALID_HANDLE_VALUE && !CanReadMemoryOf(d.ProcessId())) {
    d.CloseWindow();
    GTEST_SKIP() << "another process's memory cannot be read here (user-mode emulation); "
                    "the preloading is tested through the shell tests' child program";
  }
  ASSERT_NE(snap, INVALID_HANDLE_VALUE);
  MODULEENTRY32W m{};
  m.dwSize = sizeof m;
  for (BOOL ok = Module32FirstW(snap, &m); ok; ok = Module32NextW(snap, &m))
    loaded.push_back(m.szExePath);
  CloseHandle(snap);
  for (const wchar_t* dll : kPreloadedDlls) {
    const std::wstring path = std::wstring(system) + L"\\" + dll;
    if (GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES)
      continue;
    bool found = false;
    for (const std::wstring& l : loaded)
      found |= lstrcmpiW(l.c_str(), path.c_str()) == 0;
    EXPECT_TRUE(found) << "not loaded: " << std::string(path.begin(), path.end());
  }
  d.CloseWindow();
  EXPECT_TRUE(d.WaitExit());
}

namespace {

using testsupport::HostPath;
using testsupport::RunHostProgram;

std::string Narrow(const std::wstring& w) {
  return std::string(w.begin(), w.end());
}

bool UnixPathExists(const std::wstring& path) {
  return GetFileAttributesW(HostPath(Narrow(path)).c_str()) != INVALID_FILE_ATTRIBUTES;
}

}  // namespace

// Drive M:, made of a folder of the test's Wine prefix. It goes when the test
// ends, whatever its assertions did, so that no later test in the prefix
// sees it.
class VanishingDrive : public testing::Test {
 protected:
  void SetUp() override {
    prefix = Env(L"WINEPREFIX");
    if (prefix.empty())
      GTEST_SKIP() << "needs Wine's drive folder to add a drive";
    target = prefix + L"/vanishing-drive";
  }
  void TearDown() override {
    if (prefix.empty())
      return;
    DefineDosDeviceW(DDD_RAW_TARGET_PATH | DDD_REMOVE_DEFINITION, L"M:", nullptr);
    RunHostProgram("/bin/rm", "-f " + Narrow(prefix) + "/dosdevices/m:");
    RunHostProgram("/bin/rm", "-rf " + Narrow(target), [&] { return !UnixPathExists(target); });
  }
  std::wstring prefix, target;
};

// A fixed drive whose free space cannot be read (here a drive that went away
// after the wizard listed the fixed drives): the line says the figure is
// unknown and Install stays possible.
TEST_F(VanishingDrive, FreeSpaceOfADriveThatCannotBeRead) {
  ASSERT_TRUE(
      RunHostProgram("/bin/mkdir", "-p " + Narrow(target), [&] { return UnixPathExists(target); }));
  RunHostProgram("/bin/ln", "-sfn " + Narrow(target) + " " + Narrow(prefix) + "/dosdevices/m:");
  ASSERT_TRUE(WaitFor([] { return GetDriveTypeW(L"M:\\") == DRIVE_FIXED; }));
  // Wine lists the drives of its device map; the new one is named there too.
  DefineDosDeviceW(DDD_RAW_TARGET_PATH, L"M:", L"\\??\\C:\\");
  WizardDriver d;
  START(d, "SetupEn");
  d.Click(idBtnNext);
  d.Click(idBtnNext);
  d.Type(idEditSetupDir, L"M:\\Apps");
  EXPECT_TRUE(d.Shown(idLblFreeSize));
  EXPECT_NE(d.Text(idLblFreeSize), L"Space available: unknown");
  ASSERT_TRUE(
      RunHostProgram("/bin/rmdir", Narrow(target), [&] { return !UnixPathExists(target); }));
  d.Type(idEditSetupDir, L"M:\\Apps\\Drawlet");
  EXPECT_TRUE(d.Shown(idLblFreeSize));
  EXPECT_EQ(d.Text(idLblFreeSize), L"Space available: unknown");
  EXPECT_TRUE(d.Enabled(idBtnNext));
  d.CloseWindow();
  EXPECT_TRUE(d.WaitExit());
}
