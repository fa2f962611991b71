// Whole installations through the real wizard window, and what they leave on
// disk and in the registry.
#include <gtest/gtest.h>
#include <objbase.h>
#include <share.h>
#include <shlobj.h>
#include <shlwapi.h>
#include <tlhelp32.h>
#include <wrl/client.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "app/tests/SetupPrograms.h"
#include "common/Bytes.h"
#include "common/Text.h"
#include "package/Journal.h"
#include "pe/PeImage.h"
#include "shell/Drives.h"
#include "shell/ShellFolders.h"
#include "testsupport/Files.h"
#include "testsupport/Registry.h"
#include "testsupport/Wait.h"
#include "testsupport/WinFiles.h"
#include "win/WideText.h"

using Microsoft::WRL::ComPtr;
using testsupport::Exists;
using testsupport::KeyValues;
using testsupport::MakeOpenFolder;
using testsupport::ProcessRunning;
using testsupport::ReadAll;
using testsupport::WaitFor;
using testsupport::WriteAll;

namespace {

// The key's values as a 64-bit reader sees it, sorted; empty when it is
// missing.
std::vector<std::pair<std::wstring, std::wstring>> KeyValues64(const std::wstring& key) {
  auto values = KeyValues(HKEY_LOCAL_MACHINE, key, KEY_WOW64_64KEY);
  std::sort(values.begin(), values.end());
  return values;
}

}  // namespace

namespace {

const wchar_t kUninstallRoot[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";

std::wstring Today() {
  wchar_t text[16] = {};
  GetDateFormatW(LOCALE_INVARIANT, 0, nullptr, L"yyyyMMdd", text, 16);
  return text;
}

// The text values of the sample product's uninstall key, sorted by name
// (the numbers and the order are the rules', tested natively).
std::vector<std::pair<std::wstring, std::wstring>> ExpectedUninstallValues(const std::wstring& name,
                                                                           const std::wstring& dest,
                                                                           bool chinese) {
  std::vector<std::pair<std::wstring, std::wstring>> values = {
      {L"DisplayIcon", dest + L"Drawlet.exe"},
      {L"DisplayName", name},
      {L"DisplayVersion", L"3.50"},
      {L"Publisher", chinese ? L"诺凡软件" : L"Norvane Software"},
      {L"URLInfoAbout",
       chinese ? L"http://www.norvane.com/index_chs.shtml" : L"http://www.norvane.com/"},
      {L"UninstallString", L"\"" + dest + L"Uninst.exe\""},
      {L"QuietUninstallString", L"\"" + dest + L"Uninst.exe\" /S"},
      {L"InstallLocation", dest.substr(0, dest.size() - 1)},
      {L"InstallDate", Today()},
      {L"EstimatedSize", L"(not text)"},
      {L"NoModify", L"(not text)"},
      {L"NoRepair", L"(not text)"},
  };
  std::sort(values.begin(), values.end());
  return values;
}

std::wstring SystemDir() {
  wchar_t buf[MAX_PATH] = {};
  GetSystemDirectoryW(buf, MAX_PATH);
  return buf;
}

std::wstring Folder(FolderKind kind) {
  return reinterpret_cast<const wchar_t*>(GetShellFolder(kind).c_str());
}

// Every file of the staged sample product, relative to its folder.
void StagedFiles(const std::wstring& dir, const std::wstring& rel, std::vector<std::wstring>& out) {
  WIN32_FIND_DATAW fd;
  HANDLE h = FindFirstFileW((dir + L"\\*").c_str(), &fd);
  ASSERT_NE(h, INVALID_HANDLE_VALUE) << "no staged product in " << U(dir.c_str()).size();
  do {
    const std::wstring name = fd.cFileName;
    if (name == L"." || name == L"..")
      continue;
    if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
      StagedFiles(dir + L"\\" + name, rel + name + L"\\", out);
    else
      out.push_back(rel + name);
  } while (FindNextFileW(h, &fd));
  FindClose(h);
}

struct Link {
  std::wstring target, arguments, workingDir;
};

Link ReadLink(const std::wstring& file) {
  Link l;
  ComPtr<IShellLinkW> link;
  ComPtr<IPersistFile> persist;
  if (FAILED(
          CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&link))) ||
      FAILED(link.As(&persist)) || FAILED(persist->Load(file.c_str(), STGM_READ))) {
    l.target = L"(unreadable)";
    return l;
  }
  wchar_t buf[MAX_PATH] = {};
  link->GetPath(buf, MAX_PATH, nullptr, SLGP_RAWPATH);
  l.target = buf;
  buf[0] = 0;
  link->GetArguments(buf, MAX_PATH);
  l.arguments = buf;
  buf[0] = 0;
  link->GetWorkingDirectory(buf, MAX_PATH);
  l.workingDir = buf;
  return l;
}

class Install : public testing::Test {
 protected:
  void SetUp() override {
    for (const wchar_t* name : {L"诺凡画图", L"Norvane Drawlet"}) {
      DeleteFileW((Folder(0) + L"\\" + name + L".lnk").c_str());
      DeleteFileW((Folder(1) + L"\\" + name + L".lnk").c_str());
      SHDeleteKeyW(HKEY_LOCAL_MACHINE, (std::wstring(kUninstallRoot) + name).c_str());
    }
    SetFileAttributesW((SystemDir() + L"\\NvDrawlet.dat").c_str(), FILE_ATTRIBUTE_NORMAL);
    DeleteFileW((SystemDir() + L"\\NvDrawlet.dat").c_str());
  }

  void ToFolderPage(const char* program, const std::wstring& dest) {
    ::ToFolderPage(d, program, dest);
  }

  // Every staged file is in the destination with the same bytes.
  void ExpectProductFiles(const std::wstring& dest) {
    std::vector<std::wstring> files;
    StagedFiles(Stage(), L"", files);
    ASSERT_GE(files.size(), 4u);
    for (const std::wstring& f : files) {
      if (f.rfind(L"$System$\\", 0) == 0) {
        EXPECT_FALSE(Exists(dest + f));
        continue;
      }
      const std::string expected = ReadAll(Stage() + L"\\" + f);
      if (f == L"Uninst.exe") {
        EXPECT_TRUE(Exists(dest + f));
        continue;
      }
      EXPECT_EQ(ReadAll(dest + f), expected) << "file " << U(f.c_str()).size();
    }
    EXPECT_TRUE(Exists(dest + L"Uninst.exe"));
    EXPECT_FALSE(Exists(dest + L"Setup.stp"));
  }

  void ExpectUninstallKey(const std::wstring& name, const std::wstring& dest, bool chinese) {
    // The registry of Wine lists values by name, not in the order they were
    // written; the order is the rules' (tested natively).
    auto values = KeyValues(HKEY_LOCAL_MACHINE, kUninstallRoot + name);
    std::sort(values.begin(), values.end());
    EXPECT_EQ(values, ExpectedUninstallValues(name, dest, chinese));
  }

  // Installs through the window and closes the wizard on its finish page
  // without starting the product.
  void InstallAndClose(const char* program, const std::wstring& dest) {
    ToFolderPage(program, dest);
    InstallFromTheFolderPageAndClose();
  }
  void InstallFromTheFolderPageAndClose() {
    d.ClickNoWait(idBtnNext);
    ASSERT_TRUE(WaitFinishPage(d));
    d.SetCheck(idChkRunOnExit, false);
    d.ClickNoWait(idBtnNext);
    ASSERT_TRUE(d.WaitExit());
  }

  // Runs the installed uninstaller with /S; its exit code.
  DWORD UninstallSilently(const std::wstring& dest) {
    return RunCommand(L"\"" + dest + L"Uninst.exe\" /S");
  }
  // Runs a whole command line and waits at most two minutes for it: its
  // exit code (-1: it did not start or did not end in time).
  static DWORD RunCommand(const std::wstring& cmd) {
    return static_cast<DWORD>(testsupport::RunProcess(cmd, 120000));
  }

  WizardDriver d;
};

TEST_F(Install, WholeRoadInChinese) {
  const std::wstring dest = L"C:\\Deep\\Missing\\Parents\\Drawlet\\";
  ToFolderPage("Setup", L"C:\\Deep\\Missing\\Parents\\Drawlet");
  d.ClickNoWait(idBtnNext);
  ASSERT_TRUE(WaitFinishPage(d)) << "message: " << d.MessageBoxText(100).size();
  EXPECT_EQ(d.Progress(idProgressBar1), 100);
  EXPECT_FALSE(d.Shown(idProgressBar1));
  EXPECT_EQ(d.Text(idBtnNext), L"完 成");
  EXPECT_FALSE(d.Shown(idBtnPrev));
  EXPECT_FALSE(d.Shown(idBtnClose));
  // The banner went over to the finish page.
  EXPECT_EQ(GetParent(d.Control(idImage1)), d.Control(idPnlStep4));
  EXPECT_EQ(d.ControlRect(idImage1).left, 0);

  ExpectProductFiles(dest);
  EXPECT_EQ(ReadAll(SystemDir() + L"\\NvDrawlet.dat"),
            ReadAll(Stage() + L"\\$System$\\NvDrawlet.dat"));
  const Link link = ReadLink(Folder(0) + L"\\诺凡画图.lnk");
  EXPECT_EQ(link.target, dest + L"Drawlet.exe");
  EXPECT_EQ(link.arguments, L"");
  EXPECT_EQ(link.workingDir, dest);
  // No Quick Launch shortcut on a system of version 6 or later.
  EXPECT_FALSE(Exists(Folder(1) + L"\\诺凡画图.lnk"));
  ExpectUninstallKey(L"诺凡画图", dest, true);

  // Finish without "Launch" starts nothing and ends the setup (a product it
  // started would be a process before the setup ended).
  d.SetCheck(idChkRunOnExit, false);
  d.ClickNoWait(idBtnNext);
  EXPECT_TRUE(d.WaitExit());
  EXPECT_FALSE(ProcessRunning(L"Drawlet.exe"));
}

// Installed through the wizard, removed the way the system's list of
// programs removes it: its UninstallString, answered Yes.
TEST_F(Install, UninstallerRemovesWhatTheWizardInstalled) {
  const std::wstring dest = L"C:\\Removable\\Drawlet\\";
  ASSERT_NO_FATAL_FAILURE(InstallAndClose("Setup", dest));
  // A file of the user's own, in a folder of the product's.
  WriteAll(dest + L"help\\notes.txt", "my notes");
  const auto values = KeyValues(HKEY_LOCAL_MACHINE, std::wstring(kUninstallRoot) + L"诺凡画图");
  std::wstring uninstall;
  for (const auto& [name, value] : values) {
    if (name == L"UninstallString")
      uninstall = value;
  }
  ASSERT_EQ(uninstall, L"\"" + dest + L"Uninst.exe\"");
  uninstall = dest + L"Uninst.exe";

  // No changes nothing.
  {
    WizardDriver u;
    ASSERT_TRUE(u.Start(uninstall));
    EXPECT_NE(u.MessageBoxText().find(L"诺凡画图"), std::wstring::npos);
    u.AnswerMessageBox(IDNO);
    EXPECT_TRUE(u.WaitExit());
    EXPECT_TRUE(Exists(dest + L"Drawlet.exe"));
    EXPECT_FALSE(KeyValues(HKEY_LOCAL_MACHINE, std::wstring(kUninstallRoot) + L"诺凡画图").empty());
  }
  {
    WizardDriver u;
    ASSERT_TRUE(u.Start(uninstall));
    u.AnswerMessageBox(IDYES);
    // It says it is done, then removes itself once it has ended.
    EXPECT_NE(u.MessageBoxText().find(L"已从此计算机中删除"), std::wstring::npos);
    u.AnswerMessageBox();
    EXPECT_TRUE(u.WaitExit());
  }
  EXPECT_TRUE(WaitFor([&] { return !Exists(dest + L"Uninst.exe"); }));
  // Nor does the copy that removed it stay in the Windows folder's Temp,
  // where an administrator's copy goes.
  wchar_t windows[MAX_PATH] = {};
  GetSystemWindowsDirectoryW(windows, MAX_PATH);
  const std::wstring temp = std::wstring(windows) + L"\\Temp";
  EXPECT_TRUE(WaitFor([&] {
    WIN32_FIND_DATAW fd;
    const HANDLE h = FindFirstFileW((temp + L"\\Uninst-*.exe").c_str(), &fd);
    if (h != INVALID_HANDLE_VALUE)
      FindClose(h);
    return h == INVALID_HANDLE_VALUE;
  })) << "a copy of the uninstaller is left in "
      << temp.size();
  EXPECT_FALSE(Exists(dest + L"Drawlet.exe"));
  EXPECT_FALSE(Exists(dest + L"readme.txt"));
  EXPECT_FALSE(Exists(dest + L"help\\index.htm"));
  EXPECT_EQ(ReadAll(dest + L"help\\notes.txt"), "my notes");
  EXPECT_FALSE(Exists(Folder(0) + L"\\诺凡画图.lnk"));
  EXPECT_TRUE(KeyValues(HKEY_LOCAL_MACHINE, std::wstring(kUninstallRoot) + L"诺凡画图").empty());
  // Other programs may share the system directory's file.
  EXPECT_TRUE(Exists(SystemDir() + L"\\NvDrawlet.dat"));
}

TEST_F(Install, EnglishOnXpMakesQuickLaunchAndKeepsTheSystemFile) {
  ScopedWindowsVersion xp(L"winxp64");
  SHCreateDirectoryExW(nullptr, Folder(1).c_str(), nullptr);
  WriteAll(SystemDir() + L"\\NvDrawlet.dat", "a newer copy another program put here");
  const std::wstring dest = L"C:\\Apps\\Drawlet\\";
  ToFolderPage("SetupEn", dest);
  ASSERT_TRUE(d.Shown(idChkSCOnQuick));
  d.ClickNoWait(idBtnNext);
  ASSERT_TRUE(WaitFinishPage(d));
  ExpectProductFiles(dest);
  EXPECT_EQ(ReadAll(SystemDir() + L"\\NvDrawlet.dat"), "a newer copy another program put here");
  EXPECT_EQ(ReadLink(Folder(0) + L"\\Norvane Drawlet.lnk").target, dest + L"Drawlet.exe");
  EXPECT_EQ(ReadLink(Folder(1) + L"\\Norvane Drawlet.lnk").target, dest + L"Drawlet.exe");
  ExpectUninstallKey(L"Norvane Drawlet", dest, false);

  // Finish with "Launch" starts the product: its process is there once the
  // setup has ended, and its window shows.
  EXPECT_TRUE(d.Checked(idChkRunOnExit));
  d.ClickNoWait(idBtnNext);
  EXPECT_TRUE(d.WaitExit());
  EXPECT_TRUE(ProcessRunning(L"Drawlet.exe"));
  HWND product = nullptr;
  ASSERT_TRUE(WaitFor([&] {
    product = FindWindowByCaption(L"Norvane Drawlet 3.50");
    return product != nullptr;
  }));
  PostMessageW(product, WM_CLOSE, 0, 0);
  EXPECT_TRUE(WaitFor([] { return !ProcessRunning(L"Drawlet.exe"); }));
}

TEST_F(Install, FolderThatCannotBeMadeKeepsThePage) {
  WriteAll(L"C:\\blocker", "a file where a folder would go");
  ToFolderPage("SetupEn", L"C:\\blocker\\Drawlet");
  d.ClickNoWait(idBtnNext);
  EXPECT_EQ(d.MessageBoxText().rfind(
                L"Destination folder can't be created, need to select another folder.\n\nThe "
                L"log of this run: C:\\",
                0),
            0u);
  EXPECT_EQ(d.MessageBoxCaption(), L"Setup - Norvane Drawlet");
  EXPECT_FALSE(d.MessageBoxHasIcon());
  d.AnswerMessageBox();
  EXPECT_TRUE(d.Shown(idPnlStep3));
  EXPECT_EQ(d.Text(idBtnNext), L"&Install");
  for (int id : {idBtnNext, idBtnPrev, idBtnClose, idBtnBrowse})
    EXPECT_TRUE(d.Enabled(id)) << id;
  EXPECT_FALSE(Exists(Folder(0) + L"\\Norvane Drawlet.lnk"));
}

TEST_F(Install, FailedExtractionCanBeRetried) {
  const std::wstring dest = L"C:\\Locked\\";
  CreateDirectoryW(dest.c_str(), nullptr);
  WriteAll(dest + L"readme.txt", "the old read-me");
  SetFileAttributesW((dest + L"readme.txt").c_str(), FILE_ATTRIBUTE_READONLY);
  ToFolderPage("SetupEn", dest);
  d.ClickNoWait(idBtnNext);
  // The run's own words, then the reason and where the log is.
  const std::wstring told = d.MessageBoxText();
  EXPECT_EQ(
      told.rfind(L"An error occurred extracting files to the destination folder.\n\nWhether "
                 L"you're running an older version of this software? If yes, please close "
                 L"it and then click Install.\n\nReason: cannot replace C:\\Locked\\readme.txt",
                 0),
      0u);
  EXPECT_NE(told.find(L"\n\nThe log of this run: "), std::wstring::npos);
  EXPECT_EQ(d.MessageBoxCaption(), L"Setup - Norvane Drawlet");
  d.AnswerMessageBox();
  EXPECT_TRUE(d.Shown(idPnlStep3));
  EXPECT_EQ(d.Text(idBtnNext), L"&Install");
  for (int id : {idBtnNext, idBtnPrev, idBtnClose, idBtnBrowse})
    EXPECT_TRUE(d.Enabled(id)) << id;
  EXPECT_FALSE(d.Shown(idProgressBar1));
  EXPECT_TRUE(Exists(dest + L"Setup.stp"));
  EXPECT_EQ(ReadAll(dest + L"readme.txt"), "the old read-me");
  EXPECT_FALSE(Exists(Folder(0) + L"\\Norvane Drawlet.lnk"));

  // Once the cause is gone, Install again does it all.
  SetFileAttributesW((dest + L"readme.txt").c_str(), FILE_ATTRIBUTE_NORMAL);
  d.ClickNoWait(idBtnNext);
  ASSERT_TRUE(WaitFinishPage(d));
  ExpectProductFiles(dest);
  ExpectUninstallKey(L"Norvane Drawlet", dest, false);
}

// Without a person: whole runs from the command line, one after the other
// on one machine, each checked by its exit code, its log, the tree and the
// key (the command line's reading itself is tested natively).
TEST_F(Install, SilentRuns) {
  const std::wstring dest = L"C:\\Silent Dir\\Drawlet\\";
  const std::wstring log = L"C:\\Logs\\setup.log";
  const std::wstring setup = L"\"" + SetupProgram("Setup") + L"\" /S /LOG=" + log + L" ";
  const std::wstring key = std::wstring(kUninstallRoot) + L"诺凡画图";
  const auto quietUninstall = [&] {
    const auto values = KeyValues(HKEY_LOCAL_MACHINE, key);
    return std::map<std::wstring, std::wstring>(values.begin(),
                                                values.end())[L"QuietUninstallString"];
  };
  WizardDriver other;
  FILE* held = nullptr;
  struct Row {
    const char* what;
    std::function<void()> before;
    std::function<std::wstring()> command;
    DWORD code;
    const char* logHas;  // nullptr: the run writes no log of Setup's
    bool installed;
  };
  const Row rows[] = {
      {"a bad line", [] {}, [&] { return setup + L"/Q \"/D=" + dest + L"\""; }, 1639,
       "Refused: unknown argument \"/Q\"", false},
      {"a destination others may change", [] { ASSERT_TRUE(MakeOpenFolder(L"C:\\Open")); },
       [&] { return setup + L"/D=C:\\Open\\Drawlet"; }, 1603, "others may change C:\\Open", false},
      {"a second setup meanwhile", [&] { ASSERT_TRUE(other.Start(SetupProgram("SetupEn"))); },
       [&] { return setup + L"/D=" + dest; }, 1618, "another setup of this product is running",
       false},
      {"install", [&] { other.Kill(); }, [&] { return setup + L"\"/D=" + dest + L"\""; }, 0,
       "Installed", true},
      {"over a held file",
       [&] { held = _wfsopen((dest + L"readme.txt").c_str(), L"rb", _SH_DENYRW); },
       [&] { return setup + L"/D=" + dest; }, 1603, "readme.txt", true},
      {"a damaged journal", [&] { WriteAll(dest + L"Setup.journal", "not a journal"); },
       [&] { return setup + L"/D=" + dest; }, 1603, "Setup.journal", true},
      {"only a progress window", [&] { DeleteFileW((dest + L"Setup.journal").c_str()); },
       [&] { return setup.substr(0, setup.find(L" /S")) + L" /P /LOG=" + log + L" /D=" + dest; }, 0,
       "Installed", true},
      {"the quiet uninstall string as the key holds it", [] {}, quietUninstall, 0, nullptr, false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    DeleteFileW(log.c_str());
    row.before();
    EXPECT_EQ(RunCommand(row.command()), row.code);
    if (held != nullptr)
      std::fclose(std::exchange(held, nullptr));
    // A failed run leaves its copy of the package, as the wizard's does.
    if (row.code != 0)
      DeleteFileW((dest + L"Setup.stp").c_str());
    if (row.logHas != nullptr) {
      EXPECT_NE(ReadAll(log).find(row.logHas), std::string::npos) << ReadAll(log);
    }
    if (row.installed) {
      ExpectProductFiles(dest);
      ExpectUninstallKey(L"诺凡画图", dest, true);
      EXPECT_TRUE(Exists(Folder(0) + L"\\诺凡画图.lnk"));
    } else {
      EXPECT_TRUE(WaitFor([&] { return !Exists(dest + L"Uninst.exe"); }));
      EXPECT_FALSE(Exists(dest + L"Drawlet.exe"));
      EXPECT_FALSE(Exists(L"C:\\Open\\Drawlet"));
      EXPECT_TRUE(KeyValues(HKEY_LOCAL_MACHINE, key).empty());
    }
    EXPECT_FALSE(ProcessRunning(L"Drawlet.exe"));  // never started
  }
}

// An upgrade over an earlier version whose read-me is held open: the message,
// and the earlier version whole, its program still starting; closed, Install
// again upgrades, and the uninstaller then removes every file of the new one.
TEST_F(Install, AnUpgradeWithAHeldFileLeavesTheEarlierVersionThenSucceeds) {
  const std::wstring dest = L"C:\\Held\\";
  std::vector<std::wstring> files;
  StagedFiles(Stage(), L"", files);
  std::map<std::wstring, std::string> earlier;
  for (const std::wstring& f : files) {
    if (f.rfind(L"$System$\\", 0) != 0)
      earlier[f] = "the earlier " + ToUtf8(U(f.c_str()));
  }
  // Its program is a real one (a program runs with bytes after its image).
  earlier[L"Drawlet.exe"] = ReadAll(Stage() + L"\\Drawlet.exe") + "the earlier version";
  earlier[L"only-earlier.dll"] = "a file the new version no longer carries";
  for (const auto& [f, bytes] : earlier)
    WriteAll(dest + f, bytes);
  FILE* held = _wfsopen((dest + L"readme.txt").c_str(), L"rb", _SH_DENYRW);
  ASSERT_NE(held, nullptr);
  ToFolderPage("SetupEn", dest);
  d.ClickNoWait(idBtnNext);
  EXPECT_NE(d.MessageBoxText().find(L"An error occurred extracting files"), std::wstring::npos);
  d.AnswerMessageBox();
  EXPECT_TRUE(d.Shown(idPnlStep3));
  std::fclose(held);
  for (const auto& [f, bytes] : earlier)
    EXPECT_TRUE(ReadAll(dest + f) == bytes) << "changed: " << ToUtf8(U(f.c_str()));
  EXPECT_FALSE(Exists(dest + L"Setup.journal"));
  testsupport::Process earlierVersion;
  ASSERT_TRUE(earlierVersion.Start(L"\"" + dest + L"Drawlet.exe\""))
      << "the earlier version does not start";
  earlierVersion.Kill();

  d.ClickNoWait(idBtnNext);
  ASSERT_TRUE(WaitFinishPage(d));
  ExpectProductFiles(dest);
  d.SetCheck(idChkRunOnExit, false);
  d.ClickNoWait(idBtnNext);
  ASSERT_TRUE(d.WaitExit());
  EXPECT_EQ(UninstallSilently(dest), 0u);
  EXPECT_TRUE(WaitFor([&] { return !Exists(dest + L"Uninst.exe"); }));
  for (const std::wstring& f : files)
    EXPECT_FALSE(f.rfind(L"$System$\\", 0) != 0 && Exists(dest + f))
        << "left: " << ToUtf8(U(f.c_str()));
  EXPECT_EQ(ReadAll(dest + L"only-earlier.dll"), "a file the new version no longer carries");
}

// An upgrade killed half-way leaves its journal; the uninstaller undoes that
// run first (the old read-me back, the files and folder it added gone), then
// removes the installation, leaving nothing of either.
TEST_F(Install, TheUninstallerUndoesAnInterruptedUpgradeFirst) {
  const std::wstring dest = L"C:\\Interrupted\\";
  ASSERT_NO_FATAL_FAILURE(InstallAndClose("SetupEn", dest));
  const std::wstring run = L"0123abcd";
  ASSERT_TRUE(MoveFileW((dest + L"readme.txt").c_str(),
                        (dest + L"readme.txt." + run + L".stp-old").c_str()));
  WriteAll(dest + L"readme.txt", "the stopped run's read-me");
  WriteAll(dest + L"added.txt", "a file the stopped run added");
  WriteAll(dest + L"extra\\x.txt", "in a folder the stopped run made");
  WriteAll(dest + L"Setup.journal", JournalText({u"0123abcd",
                                                 false,
                                                 {u"extra\\"},
                                                 {{u"", u"readme.txt", true},
                                                  {u"", u"added.txt", false},
                                                  {u"extra\\", u"x.txt", false}}}));
  EXPECT_EQ(UninstallSilently(dest), 0u);
  EXPECT_TRUE(WaitFor([&] { return !Exists(dest + L"Uninst.exe"); }));
  for (const wchar_t* left : {L"readme.txt.0123abcd.stp-old", L"added.txt", L"extra",
                              L"Setup.journal", L"readme.txt", L"Drawlet.exe"}) {
    EXPECT_FALSE(Exists(dest + left)) << "left: " << ToUtf8(U(left));
  }
}

// A package without a usable index installs nothing, so nothing is
// registered for it either: the run fails like any extraction failure.
TEST_F(Install, PackageWithoutUsableIndexFails) {
  const std::wstring dest = L"C:\\NoIndex\\";
  ToFolderPage("SetupNoIndex", L"C:\\NoIndex");
  d.ClickNoWait(idBtnNext);
  EXPECT_NE(d.MessageBoxText().find(L"no usable list of files"), std::wstring::npos);
  d.AnswerMessageBox();
  EXPECT_FALSE(Exists(Folder(0) + L"\\Norvane Drawlet.lnk"));
  EXPECT_TRUE(
      KeyValues(HKEY_LOCAL_MACHINE, std::wstring(kUninstallRoot) + L"Norvane Drawlet").empty());
  d.CloseWindow();
  EXPECT_TRUE(d.WaitExit());
  EXPECT_EQ(d.ExitCode(), 1603u);
}

TEST_F(Install, DestinationTextsAreNormalised) {
  // A leading blank hides the free space line (the text does not start with
  // a drive), so Install stays disabled; the folder rule itself is tested
  // natively.
  ToFolderPage("SetupEn", L" C:\\Lead\\Drawlet");
  EXPECT_FALSE(d.Enabled(idBtnNext));
  d.Kill();
  // The final backslash is optional; no desktop icon when the box is cleared.
  ToFolderPage("SetupEn", L"C:\\Lead\\Drawlet\\");
  d.SetCheck(idChkSCOnDesktop, false);
  d.ClickNoWait(idBtnNext);
  ASSERT_TRUE(WaitFinishPage(d));
  ExpectProductFiles(L"C:\\Lead\\Drawlet\\");
  EXPECT_FALSE(Exists(Folder(0) + L"\\Norvane Drawlet.lnk"));
  d.Kill();

  // A folder name ending in a blank or a dot is trimmed as the system's own
  // path calls trim it (no folder "Drawlet " that they could not open
  // again), and spellings those calls read as the same folder (a slash, a
  // doubled separator, a "." level) are made whole once, when Install is
  // pressed: all in one text.
  ToFolderPage("SetupEn", L"C:\\Apps/.\\\\Drawlet .");
  d.ClickNoWait(idBtnNext);
  ASSERT_TRUE(WaitFinishPage(d));
  ExpectUninstallKey(L"Norvane Drawlet", L"C:\\Apps\\Drawlet\\", false);
  EXPECT_TRUE(Exists(L"C:\\Apps\\Drawlet\\Drawlet.exe"));
}

// The shell link class made unavailable for the programs started while it
// lives: every shortcut the wizard tries to make raises an error. A failed
// activation also asks COM for a local server, for which Wine starts a
// surrogate (dllhost.exe); one still starting when the class is given back
// reads the mended registration and serves shell links to the next program
// (seen on a slow, emulated run). The surrogates end before the class comes
// back.
class ScopedBrokenShellLink {
 public:
  ScopedBrokenShellLink() {
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kKey, 0, KEY_QUERY_VALUE | KEY_SET_VALUE, &key_) !=
        ERROR_SUCCESS) {
      key_ = nullptr;
      return;
    }
    wchar_t buf[MAX_PATH] = {};
    DWORD size = sizeof buf;
    if (RegQueryValueExW(key_, nullptr, nullptr, nullptr, reinterpret_cast<BYTE*>(buf), &size) ==
        ERROR_SUCCESS) {
      old_ = buf;
    }
    Set(L"C:\\nowhere\\missing-shell.dll");
  }
  ~ScopedBrokenShellLink() {
    if (key_ != nullptr) {
      EndSurrogates();
      Set(old_);
      RegCloseKey(key_);
    }
  }
  bool Active() const { return key_ != nullptr && !old_.empty(); }
  ScopedBrokenShellLink(const ScopedBrokenShellLink&) = delete;
  ScopedBrokenShellLink& operator=(const ScopedBrokenShellLink&) = delete;

 private:
  static constexpr const wchar_t* kKey =
      L"Software\\Classes\\CLSID\\{00021401-0000-0000-C000-000000000046}\\InprocServer32";
  static void EndSurrogates() {
    const HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snap == INVALID_HANDLE_VALUE)
      return;
    PROCESSENTRY32W p{};
    p.dwSize = sizeof p;
    for (BOOL ok = Process32FirstW(snap, &p); ok; ok = Process32NextW(snap, &p)) {
      if (lstrcmpiW(p.szExeFile, L"dllhost.exe") != 0)
        continue;
      if (const HANDLE h = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, p.th32ProcessID)) {
        TerminateProcess(h, 1);
        WaitForSingleObject(h, 10000);
        CloseHandle(h);
      }
    }
    CloseHandle(snap);
  }
  void Set(const std::wstring& value) {
    RegSetValueExW(key_, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                   static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
  }
  HKEY key_ = nullptr;
  std::wstring old_;
};

// The registration stops at its first error, silently: a desktop shortcut
// that cannot be made leaves no Quick Launch shortcut and no uninstall key,
// and the wizard still reaches its finish page. On a system without Quick
// Launch the key is the very next step, so a run that went on after the
// error would write it.
// A registration step that fails is told, naming what was left undone; the
// other steps are still made, and the run's exit code is a failure.
TEST_F(Install, FailedRegistrationIsToldAndFails) {
  for (const wchar_t* version : {L"", L"winxp64"}) {
    ScopedWindowsVersion system(version);
    SHCreateDirectoryExW(nullptr, Folder(1).c_str(), nullptr);
    const std::wstring dest = L"C:\\NoLinks\\Drawlet\\";
    {
      ScopedBrokenShellLink broken;
      ASSERT_TRUE(broken.Active());
      ToFolderPage("SetupEn", dest);
      ASSERT_EQ(d.Shown(idChkSCOnQuick), *version != L'\0');
      d.ClickNoWait(idBtnNext);
      const std::wstring told = d.MessageBoxText(60000);
      EXPECT_NE(told.find(L"the desktop shortcut"), std::wstring::npos);
      EXPECT_EQ(told.find(L"the Quick Launch shortcut") != std::wstring::npos, *version != L'\0');
      d.AnswerMessageBox();
      ASSERT_TRUE(WaitFinishPage(d));
    }
    ExpectProductFiles(dest);
    EXPECT_FALSE(Exists(Folder(0) + L"\\Norvane Drawlet.lnk"));
    EXPECT_FALSE(Exists(Folder(1) + L"\\Norvane Drawlet.lnk"));
    ExpectUninstallKey(L"Norvane Drawlet", dest, false);
    EXPECT_EQ(d.Text(idBtnNext), L"&Finish");
    d.SetCheck(idChkRunOnExit, false);
    d.ClickNoWait(idBtnNext);
    EXPECT_TRUE(d.WaitExit());
    EXPECT_EQ(d.ExitCode(), 1603u);
    d.Kill();
  }
}

// While the files are unpacked the four buttons are disabled and the bar
// shows; the failure message (an information box, with its icon) comes
// before anything is given back. Then the buttons come back and the bar
// hides, keeping its position, and a retry starts from there.
TEST_F(Install, ControlsDuringAndAfterAFailedExtraction) {
  const std::wstring dest = L"C:\\Stopped\\";
  CreateDirectoryW(dest.c_str(), nullptr);
  WriteAll(dest + L"readme.txt", "the old read-me");
  SetFileAttributesW((dest + L"readme.txt").c_str(), FILE_ATTRIBUTE_READONLY);
  ToFolderPage("SetupEn", dest);
  d.ClickNoWait(idBtnNext);
  ASSERT_NE(d.MessageBoxText(), L"");
  EXPECT_TRUE(d.MessageBoxHasIcon());
  for (int id : {idBtnNext, idBtnPrev, idBtnClose, idBtnBrowse})
    EXPECT_FALSE(d.Enabled(id)) << id;
  EXPECT_TRUE(d.Shown(idProgressBar1));
  const int reached = d.Progress(idProgressBar1);
  // The read-only file is found before any file is written.
  EXPECT_EQ(reached, 0);
  d.AnswerMessageBox();
  for (int id : {idBtnNext, idBtnPrev, idBtnClose, idBtnBrowse})
    EXPECT_TRUE(d.Enabled(id)) << id;
  EXPECT_FALSE(d.Shown(idProgressBar1));
  EXPECT_EQ(d.Progress(idProgressBar1), reached);

  // A retry that fails before the first file (the package file cannot be
  // written again) shows the bar where the last attempt left it.
  SetFileAttributesW((dest + L"Setup.stp").c_str(), FILE_ATTRIBUTE_READONLY);
  d.ClickNoWait(idBtnNext);
  ASSERT_NE(d.MessageBoxText(), L"");
  EXPECT_TRUE(d.Shown(idProgressBar1));
  EXPECT_EQ(d.Progress(idProgressBar1), reached);
  d.AnswerMessageBox();
  EXPECT_TRUE(d.Shown(idPnlStep3));
  SetFileAttributesW((dest + L"Setup.stp").c_str(), FILE_ATTRIBUTE_NORMAL);
  SetFileAttributesW((dest + L"readme.txt").c_str(), FILE_ATTRIBUTE_NORMAL);
  d.ClickNoWait(idBtnNext);
  ASSERT_TRUE(WaitFinishPage(d));
  ExpectProductFiles(dest);
}

// The Chinese run's two messages, in their boxes.
TEST_F(Install, ChineseMessages) {
  WriteAll(L"C:\\blocker", "a file where a folder would go");
  ToFolderPage("Setup", L"C:\\blocker\\Drawlet");
  d.ClickNoWait(idBtnNext);
  EXPECT_EQ(
      d.MessageBoxText().rfind(L"无法创建目标文件夹，请重新指定文件夹路径。\n\n安装日志：", 0), 0u);
  EXPECT_EQ(d.MessageBoxCaption(), L"安装向导 - 诺凡画图");
  EXPECT_FALSE(d.MessageBoxHasIcon());
  d.AnswerMessageBox();

  const std::wstring dest = L"C:\\LockedZh\\";
  CreateDirectoryW(dest.c_str(), nullptr);
  WriteAll(dest + L"readme.txt", "the old read-me");
  SetFileAttributesW((dest + L"readme.txt").c_str(), FILE_ATTRIBUTE_READONLY);
  d.Type(idEditSetupDir, dest);
  d.ClickNoWait(idBtnNext);
  EXPECT_EQ(d.MessageBoxText().rfind(
                L"提取文件到目标文件夹时发生错误。\n\n您是否正在运行这个软件的旧版本？如果是，请先"
                L"关闭它，然后再次点击“安装”。\n\n原因：",
                0),
            0u);
  EXPECT_EQ(d.MessageBoxCaption(), L"安装向导 - 诺凡画图");
  EXPECT_TRUE(d.MessageBoxHasIcon());
  d.AnswerMessageBox();
  SetFileAttributesW((dest + L"readme.txt").c_str(), FILE_ATTRIBUTE_NORMAL);
}

// Finish with Launch checked and a product that cannot be started: the
// wizard says nothing and closes.
TEST_F(Install, FinishWithAProductThatCannotStart) {
  const std::wstring dest = L"C:\\Gone\\Drawlet\\";
  ToFolderPage("SetupEn", dest);
  d.ClickNoWait(idBtnNext);
  ASSERT_TRUE(WaitFinishPage(d));
  ASSERT_TRUE(DeleteFileW((dest + L"Drawlet.exe").c_str()));
  ASSERT_TRUE(d.Checked(idChkRunOnExit));
  d.ClickNoWait(idBtnNext);
  EXPECT_TRUE(d.WaitExit(10000));
  EXPECT_EQ(d.MessageBoxText(0), L"");
  EXPECT_FALSE(ProcessRunning(L"Drawlet.exe"));
}

}  // namespace

// What only a 64-bit Windows shows the 32-bit setup program (WoW64): Program
// Files (x86), the system directory redirected to SysWOW64, and the uninstall
// key under Wow6432Node as 64-bit programs see it. These run in the wow64
// test bed only (TEST_BED=wow64).
namespace {

const wchar_t kWow64UninstallRoot[] =
    L"SOFTWARE\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";

bool OnWow64Bed() {
  return Env(L"TEST_BED") == L"wow64";
}

std::wstring Wow64SystemDir() {
  wchar_t buf[MAX_PATH] = {};
  const UINT n = GetSystemWow64DirectoryW(buf, MAX_PATH);
  return n > 0 && n < MAX_PATH ? std::wstring(buf, n) : std::wstring();
}

// Whether the 64-bit system directory itself (not the redirected view a
// 32-bit program has of it) holds the file.
bool InNativeSystemDir(const wchar_t* name) {
  void* old = nullptr;
  if (!Wow64DisableWow64FsRedirection(&old))
    return false;
  const bool found = Exists(SystemDir() + L"\\" + name);
  Wow64RevertWow64FsRedirection(old);
  return found;
}

void DeleteFromNativeSystemDir(const wchar_t* name) {
  void* old = nullptr;
  if (Wow64DisableWow64FsRedirection(&old)) {
    DeleteFileW((SystemDir() + L"\\" + name).c_str());
    Wow64RevertWow64FsRedirection(old);
  }
}

class InstallWow64 : public Install {
 protected:
  void SetUp() override {
    if (!OnWow64Bed())
      GTEST_SKIP() << "only in the wow64 test bed";
    BOOL wow64 = FALSE;
    ASSERT_TRUE(IsWow64Process(GetCurrentProcess(), &wow64));
    ASSERT_TRUE(wow64) << "the test program does not run under WoW64";
    Install::SetUp();
    DeleteFromNativeSystemDir(L"NvDrawlet.dat");
    for (const wchar_t* name : {L"诺凡画图", L"Norvane Drawlet"})
      SHDeleteKeyW(HKEY_LOCAL_MACHINE, (std::wstring(kWow64UninstallRoot) + name).c_str());
  }

  // The key with its six values under Wow6432Node, and none where 64-bit
  // programs keep theirs.
  void ExpectWow64UninstallKey(const std::wstring& name, const std::wstring& dest, bool chinese) {
    EXPECT_EQ(KeyValues64(kWow64UninstallRoot + name),
              ExpectedUninstallValues(name, dest, chinese));
    EXPECT_TRUE(KeyValues64(kUninstallRoot + name).empty())
        << "the key is where 64-bit programs keep theirs";
  }
};

TEST_F(InstallWow64, DefaultDestinationSysWow64AndWow6432NodeThenTheUninstaller) {
  const std::wstring dest = L"C:\\Program Files (x86)\\Norvane Soft\\Drawlet\\";
  ASSERT_TRUE(d.Start(SetupProgram("Setup")));
  d.Click(idBtnNext);
  d.Click(idBtnNext);
  ASSERT_TRUE(d.Shown(idPnlStep3));
  EXPECT_EQ(d.Text(idEditSetupDir), L"C:\\Program Files (x86)\\Norvane Soft\\Drawlet");
  EXPECT_FALSE(d.Shown(idChkSCOnQuick));
  ASSERT_NO_FATAL_FAILURE(InstallFromTheFolderPageAndClose());

  ExpectProductFiles(dest);
  EXPECT_FALSE(Exists(L"C:\\Program Files\\Norvane Soft"));
  // The $System$ row went where 32-bit programs find their system files.
  const std::wstring sysWow64 = Wow64SystemDir();
  ASSERT_FALSE(sysWow64.empty());
  EXPECT_EQ(ReadAll(sysWow64 + L"\\NvDrawlet.dat"),
            ReadAll(Stage() + L"\\$System$\\NvDrawlet.dat"));
  EXPECT_FALSE(InNativeSystemDir(L"NvDrawlet.dat"));
  EXPECT_EQ(ReadLink(Folder(0) + L"\\诺凡画图.lnk").target, dest + L"Drawlet.exe");
  EXPECT_FALSE(Exists(Folder(1) + L"\\诺凡画图.lnk"));
  ExpectWow64UninstallKey(L"诺凡画图", dest, true);

  // The system's list of programs reads the key in the 64-bit view and runs
  // its UninstallString: the 32-bit uninstaller finds its own key there.
  std::wstring uninstall;
  for (const auto& [name, value] : KeyValues64(kWow64UninstallRoot + std::wstring(L"诺凡画图"))) {
    if (name == L"UninstallString")
      uninstall = value;
  }
  ASSERT_EQ(uninstall, L"\"" + dest + L"Uninst.exe\"");
  uninstall = dest + L"Uninst.exe";
  {
    WizardDriver u;
    ASSERT_TRUE(u.Start(uninstall));
    u.AnswerMessageBox(IDYES);
    EXPECT_NE(u.MessageBoxText().find(L"已从此计算机中删除"), std::wstring::npos);
    u.AnswerMessageBox();
    EXPECT_TRUE(u.WaitExit());
  }
  EXPECT_TRUE(WaitFor([&] { return !Exists(dest + L"Uninst.exe"); }));
  EXPECT_FALSE(Exists(dest + L"Drawlet.exe"));
  EXPECT_FALSE(Exists(dest + L"help\\index.htm"));
  EXPECT_FALSE(Exists(Folder(0) + L"\\诺凡画图.lnk"));
  EXPECT_TRUE(KeyValues64(kWow64UninstallRoot + std::wstring(L"诺凡画图")).empty());
  EXPECT_TRUE(Exists(sysWow64 + L"\\NvDrawlet.dat"));
}

TEST_F(InstallWow64, VersionFiveMakesQuickLaunchAndKeepsTheSysWow64File) {
  ScopedWindowsVersion xp(L"winxp64");
  SHCreateDirectoryExW(nullptr, Folder(1).c_str(), nullptr);
  const std::wstring sysWow64 = Wow64SystemDir();
  ASSERT_FALSE(sysWow64.empty());
  WriteAll(sysWow64 + L"\\NvDrawlet.dat", "a newer copy another program put here");
  const std::wstring dest = L"C:\\Program Files (x86)\\Norvane Soft\\Drawlet\\";
  ASSERT_TRUE(d.Start(SetupProgram("SetupEn")));
  d.Click(idBtnNext);
  d.Click(idBtnNext);
  ASSERT_TRUE(d.Shown(idPnlStep3));
  EXPECT_EQ(d.Text(idEditSetupDir), L"C:\\Program Files (x86)\\Norvane Soft\\Drawlet");
  ASSERT_TRUE(d.Shown(idChkSCOnQuick));
  ASSERT_NO_FATAL_FAILURE(InstallFromTheFolderPageAndClose());

  ExpectProductFiles(dest);
  EXPECT_EQ(ReadAll(sysWow64 + L"\\NvDrawlet.dat"), "a newer copy another program put here");
  EXPECT_FALSE(InNativeSystemDir(L"NvDrawlet.dat"));
  EXPECT_EQ(ReadLink(Folder(0) + L"\\Norvane Drawlet.lnk").target, dest + L"Drawlet.exe");
  EXPECT_EQ(ReadLink(Folder(1) + L"\\Norvane Drawlet.lnk").target, dest + L"Drawlet.exe");
  ExpectWow64UninstallKey(L"Norvane Drawlet", dest, false);
}

// The signed build (SetupSigned, signed with the test certificate, carrying
// an uninstaller signed with its list): it installs like any other, and the
// signed uninstaller finds its list before its signature and removes the
// product silently.
TEST_F(Install, SignedSetupInstallsAndItsSignedUninstallerRemoves) {
  if (!Exists(SetupProgram("SetupSigned")))
    GTEST_SKIP() << "no SetupSigned in this build (needs openssl and osslsigncode)";
  const std::wstring dest = L"C:\\Signed\\Drawlet\\";
  ASSERT_NO_FATAL_FAILURE(InstallAndClose("SetupSigned", dest));
  EXPECT_TRUE(Exists(dest + L"Drawlet.exe"));
  EXPECT_TRUE(Exists(dest + L"help\\index.htm"));
  ExpectUninstallKey(L"Norvane Drawlet", dest, false);
  // The installed uninstaller is still signed: its header's security entry
  // names one certificate table (revision 2, a PKCS #7 signature) that ends
  // the file, and its list lies before that table.
  const std::string uninst = ReadAll(dest + L"Uninst.exe");
  const TDataDirectory table = PeImage(uninst).Directory(kSecurityDirectory);
  ASSERT_GE(table.size, 8u) << "no certificate table";
  EXPECT_EQ(uint64_t{table.rva} + table.size, uninst.size());
  EXPECT_EQ(GetU16(uninst, table.rva + 4), 0x0200u);  // WIN_CERT_REVISION_2_0
  EXPECT_EQ(GetU16(uninst, table.rva + 6), 0x0002u);  // WIN_CERT_TYPE_PKCS_SIGNED_DATA
  EXPECT_LT(uninst.find("NvUninstallList 1"), size_t{table.rva});

  EXPECT_EQ(UninstallSilently(dest), 0u) << "5 would be: no usable list of installed files";
  EXPECT_FALSE(Exists(dest + L"Drawlet.exe"));
  EXPECT_FALSE(Exists(dest + L"help\\index.htm"));
  EXPECT_TRUE(
      KeyValues(HKEY_LOCAL_MACHINE, std::wstring(kUninstallRoot) + L"Norvane Drawlet").empty());
}

// The program stp setup makes from the stub with the build's settings and
// stage (SetupStamped): installed through the wizard as the build's own is,
// then removed by the uninstaller it carries.
TEST_F(Install, StampedSetupInstallsAndUninstalls) {
  const std::wstring dest = L"C:\\Stamped\\Drawlet\\";
  ToFolderPage("SetupStamped", dest);
  EXPECT_EQ(d.Text(idBtnNext), L"安 装");
  ASSERT_NO_FATAL_FAILURE(InstallFromTheFolderPageAndClose());
  ExpectProductFiles(dest);
  ExpectUninstallKey(L"诺凡画图", dest, true);
  EXPECT_EQ(UninstallSilently(dest), 0u);
  EXPECT_FALSE(Exists(dest + L"Drawlet.exe"));
  EXPECT_TRUE(KeyValues(HKEY_LOCAL_MACHINE, std::wstring(kUninstallRoot) + L"诺凡画图").empty());
}

}  // namespace
