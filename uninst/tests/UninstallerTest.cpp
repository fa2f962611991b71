// Uninst.exe under Wine. Each test installs the sample product the way the
// setup program does (the package extracted into a folder under Program
// Files, the uninstall key's values, the desktop and Quick Launch shortcuts),
// then runs the uninstaller as the system's list of programs does, from the
// key's "UninstallString", and plays the user: a loop finds the message
// boxes of that process and presses their buttons.
#include <io.h>
#include <sddl.h>
#include <share.h>
#include <shlobj.h>
#include <shlwapi.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "common/Path.h"
#include "common/Text.h"
#include "common/tests/TestData.h"
#include "package/Extractor.h"
#include "package/UninstallEntry.h"
#include "package/UninstallList.h"
#include "shell/Drives.h"
#include "shell/Registry.h"
#include "shell/Shortcut.h"
#include "testsupport/ChildProcess.h"
#include "testsupport/Files.h"
#include "testsupport/Links.h"
#include "testsupport/Registry.h"
#include "testsupport/Wait.h"
#include "testsupport/WinFiles.h"
#include "testsupport/WindowReader.h"
#include "testsupport/WineHost.h"
#include "uninst/CheckedStart.h"
#include "uninst/Uninstaller.h"
#include "win/AnsiCodePage.h"
#include "win/Security.h"
#include "win/WideText.h"

namespace fs = std::filesystem;

namespace {

const std::u16string kShellFolders =
    u"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
const std::u16string kUserShellFolders =
    u"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders";
const std::u16string kQuick = u"\\Microsoft\\Internet Explorer\\Quick Launch";

std::u16string SamplePackage() {
  std::string p = SAMPLE_PACKAGE;
  if (!p.empty() && p[0] == '/')
    p = "Z:" + p;
  return FromUtf8(p);
}

bool Exists(const std::u16string& path) {
  return testsupport::Exists(W(path));
}

bool IsLinkHere(const std::u16string& path) {
  return testsupport::IsLinkHere(W(path));
}

void WriteText(const std::u16string& path, const std::string& text) {
  testsupport::WriteAll(W(path), text);
}

std::string ReadBytes(const std::u16string& path) {
  return testsupport::ReadAll(W(path));
}

// A link this system shows as one (Wine shows a link to a file as the file).
bool MakeLink(const std::u16string& link, const std::u16string& target) {
  return testsupport::PlantLink(W(target), W(link)) && IsLinkHere(link);
}

// What one message box of the uninstaller showed.
struct Box {
  std::u16string caption;
  std::u16string text;
  std::vector<int> buttons;
  bool Has(const std::u16string& part) const { return text.find(part) != std::u16string::npos; }
};

struct RunResult {
  DWORD exitCode = 0xFFFFFFFF;
  DWORD processId = 0;
  std::vector<Box> boxes;
};

Box Read(HWND hwnd) {
  const testsupport::MessageBoxView view = testsupport::ReadMessageBox(hwnd);
  return {U(view.caption.c_str()), U(view.text.c_str()), view.buttons};
}

// Starts the command line, answers each box it shows with the next of
// answers (IDYES, IDNO, IDOK) and waits for it to end.
RunResult RunUninstaller(const std::u16string& commandLine, const std::vector<int>& answers) {
  RunResult r;
  testsupport::Process p;
  if (!p.Start(std::wstring(W(commandLine)))) {
    ADD_FAILURE() << "cannot start " << ToUtf8(commandLine) << ": " << p.Error();
    return r;
  }
  r.processId = p.Id();
  const DWORD start = GetTickCount();
  while (!p.Wait(50)) {
    if (GetTickCount() - start > 60000) {
      ADD_FAILURE() << "the uninstaller did not end";
      p.Kill();
      break;
    }
    const HWND found = testsupport::FindDialogOf(p.Id());
    if (found == nullptr)
      continue;
    // Read once its text and buttons are there.
    Box box;
    testsupport::WaitFor([&] {
      box = Read(found);
      return !box.text.empty() && !box.buttons.empty();
    });
    r.boxes.push_back(box);
    const size_t n = r.boxes.size();
    int answer = n <= answers.size() ? answers[n - 1] : 0;
    if (answer == 0) {
      ADD_FAILURE() << "an unexpected box: " << ToUtf8(r.boxes.back().text);
      answer = IDNO;
    }
    const HWND button = GetDlgItem(found, answer);
    if (button != nullptr)
      SendMessageW(button, BM_CLICK, 0, 0);
    else
      ADD_FAILURE() << "no button " << answer << " in " << ToUtf8(r.boxes.back().text);
    // A button that does not close its box is a fault of the box, not
    // something to work around by sending the command another way.
    const auto gone = [&] { return !IsWindow(found) || !IsWindowVisible(found); };
    if (!testsupport::WaitFor(gone, 20000)) {
      ADD_FAILURE() << "the box stayed open after its button " << answer
                    << " was clicked: " << ToUtf8(r.boxes.back().text);
      p.Kill();
      break;
    }
  }
  r.exitCode = p.ExitCode();
  return r;
}

std::vector<std::u16string> PendingDeletions() {
  RegKey key;
  std::vector<std::u16string> out;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SYSTEM\\CurrentControlSet\\Control\\Session Manager", 0,
                    KEY_READ, key.Out()) != ERROR_SUCCESS) {
    return out;
  }
  DWORD type = 0, size = 0;
  if (RegQueryValueExW(key.get(), L"PendingFileRenameOperations", nullptr, &type, nullptr, &size) !=
      ERROR_SUCCESS) {
    return out;
  }
  std::vector<wchar_t> data(size / sizeof(wchar_t) + 2, 0);
  RegQueryValueExW(key.get(), L"PendingFileRenameOperations", nullptr, &type,
                   reinterpret_cast<BYTE*>(data.data()), &size);
  // Pairs of source and target; an empty target deletes the source.
  std::vector<std::u16string> parts;
  for (size_t at = 0; at < size / sizeof(wchar_t);) {
    const std::u16string s = U(data.data() + at);
    parts.push_back(s);
    at += s.size() + 1;
  }
  for (size_t i = 0; i + 1 < parts.size(); i += 2) {
    if (parts[i + 1].empty() && !parts[i].empty())
      out.push_back(parts[i]);
  }
  return out;
}

struct Uninstaller : testing::Test {
  std::u16string root;  // the test's shell folders
  std::u16string dest;  // ends in "\"
  std::u16string desktop, quick, common;
  std::u16string name;  // the uninstall key's name, also the shortcuts'
  std::u16string keyPath;
  std::u16string saved[3];
  std::vector<TRowPlan> rows;

  void SetUp() override {
    const std::filesystem::path scratch = testsupport::ScratchFolder("uninst-test");
    root = U(scratch.wstring().c_str()) + u"\\";
    const std::u16string id = U(scratch.filename().wstring().c_str());
    desktop = root + u"Desktop";
    quick = root + u"AppData" + kQuick;
    common = root + u"Common Desktop";
    for (const auto& d : {desktop, quick, common})
      SHCreateDirectoryExW(nullptr, W(d), nullptr);
    saved[0] = RegReadText(HKEY_CURRENT_USER, kShellFolders, u"Desktop");
    saved[1] = RegReadText(HKEY_CURRENT_USER, kShellFolders, u"AppData");
    saved[2] = RegReadText(HKEY_LOCAL_MACHINE, kShellFolders, u"Common Desktop");
    Point(HKEY_CURRENT_USER, u"Desktop", desktop);
    Point(HKEY_CURRENT_USER, u"AppData", root + u"AppData");
    Point(HKEY_LOCAL_MACHINE, u"Common Desktop", common);
    wchar_t programFiles[MAX_PATH] = {};
    SHGetFolderPathW(nullptr, CSIDL_PROGRAM_FILES, nullptr, 0, programFiles);
    dest = UpToNul(programFiles, MAX_PATH) + u"\\Norvane Soft\\Drawlet " + id + u"\\";
  }
  void TearDown() override {
    Point(HKEY_CURRENT_USER, u"Desktop", saved[0]);
    Point(HKEY_CURRENT_USER, u"AppData", saved[1]);
    Point(HKEY_LOCAL_MACHINE, u"Common Desktop", saved[2]);
  }
  static void Point(HKEY key, const std::u16string& value, const std::u16string& folder) {
    RegWriteText(key, kUserShellFolders, value, folder);
    RegWriteText(key, kShellFolders, value, folder);
  }

  // What the setup program leaves: the files, the key, the shortcuts.
  void Install(int32_t language, const std::u16string& productName) {
    name = productName;
    keyPath = UninstallKeyPath(name);
    TExtractOptions options;
    options.codePage = &AnsiCodePage();
    options.systemDir = [] { return GetSystemDir(); };
    rows = PlanPackage(SamplePackage(), dest, u"", options);
    ASSERT_FALSE(rows.empty());
    ExtractPackage(SamplePackage(), dest, u"", nullptr, options);
    for (const TUninstallValue& v :
         UninstallValues(language == 0, {name, u"Drawlet", u"1.0"}, dest))
      v.isNumber ? RegWriteNumber(HKEY_LOCAL_MACHINE, keyPath, v.name, v.number)
                 : RegWriteText(HKEY_LOCAL_MACHINE, keyPath, v.name, v.value);
    CreateShortcut(dest + u"Drawlet.exe", u"", name, 0, u"");
    CreateShortcut(dest + u"Drawlet.exe", u"", name, 1, u"");
    ASSERT_TRUE(Exists(DesktopLink()));
    ASSERT_TRUE(Exists(QuickLink()));
  }
  std::u16string DesktopLink() const { return desktop + u"\\" + name + u".lnk"; }
  std::u16string QuickLink() const { return quick + u"\\" + name + u".lnk"; }
  std::u16string UninstallString() const {
    return RegReadText(HKEY_LOCAL_MACHINE, keyPath, u"UninstallString");
  }
  bool KeyExists() const {
    RegKey k;
    return RegOpenKeyExW(HKEY_LOCAL_MACHINE, W(keyPath), 0, KEY_READ, k.Out()) == ERROR_SUCCESS;
  }
  // Every product file in the destination tree, and the system file.
  std::vector<std::u16string> ProductFiles() const {
    std::vector<std::u16string> out;
    for (const TRowPlan& r : rows) {
      if (!r.system)
        out.push_back(r.targetPath);
    }
    return out;
  }
  std::u16string SystemFile() const {
    for (const TRowPlan& r : rows) {
      if (r.system)
        return r.targetPath;
    }
    return {};
  }
  // Waits until the copy in the temporary folder has done its work: the
  // program is gone, and so are the copy and its folder, which are also down
  // for deletion at the next restart. Returns that folder's pending entry.
  std::u16string WaitForSelfRemoval(const RunResult&) const {
    std::u16string pending;
    testsupport::WaitFor(
        [&] {
          if (Exists(dest + u"Uninst.exe") || !CopyFolders().empty())
            return false;
          for (const std::u16string& p : PendingDeletions()) {
            const size_t at = p.find(u":\\");
            if (at != std::u16string::npos && at > 0 && IsCopyFolder(p.substr(at - 1)))
              pending = p.substr(at - 1);
          }
          return !pending.empty();
        },
        60000);
    return pending;
  }
  // Where an administrator's copy goes: the Windows folder's Temp.
  static std::u16string Temp() {
    wchar_t windows[MAX_PATH] = {};
    GetSystemWindowsDirectoryW(windows, MAX_PATH);
    return UpToNul(windows, MAX_PATH) + u"\\Temp\\";
  }
  // The temporary folder's "Uninst-" and 32 hexadecimal digits: a copy's
  // folder, or with ".exe" the copy moved out of it.
  static bool IsCopyFolder(std::u16string path) {
    if (!path.empty() && path.back() == u'\\')
      path.pop_back();
    if (path.size() > 4 && SamePath(path.substr(path.size() - 4), u".exe"))
      path.resize(path.size() - 4);
    const std::u16string prefix = Temp() + u"Uninst-";
    return path.size() == prefix.size() + 32 && SamePath(path.substr(0, prefix.size()), prefix) &&
           path.find_first_not_of(u"0123456789abcdef", prefix.size()) == std::u16string::npos;
  }
  // The copies and their folders that exist now.
  static std::vector<std::u16string> CopyFolders() {
    std::vector<std::u16string> out;
    WIN32_FIND_DATAW found{};
    const HANDLE h = FindFirstFileW(W(Temp() + u"Uninst-*"), &found);
    if (h == INVALID_HANDLE_VALUE)
      return out;
    do {
      const std::u16string path = Temp() + UpToNul(found.cFileName, MAX_PATH);
      if (IsCopyFolder(path))
        out.push_back(path);
    } while (FindNextFileW(h, &found));
    FindClose(h);
    return out;
  }
  // Every path under the destination, for comparing before and after.
  std::vector<std::string> Tree() const { return testsupport::Tree(W(dest)); }

  // The whole product is gone; what was not the product's is not.
  void ExpectRemoved(const RunResult& run) {
    const std::u16string copy = WaitForSelfRemoval(run);
    EXPECT_FALSE(copy.empty()) << "the copy in the temporary folder is not down for deletion";
    for (const std::u16string& f : ProductFiles())
      EXPECT_FALSE(Exists(f)) << ToUtf8(f);
    EXPECT_FALSE(Exists(dest + u"Setup.stp"));
    EXPECT_FALSE(KeyExists());
    EXPECT_FALSE(Exists(DesktopLink()));
    EXPECT_FALSE(Exists(QuickLink()));
    EXPECT_TRUE(Exists(SystemFile())) << ToUtf8(SystemFile());
  }
};

}  // namespace

TEST_F(Uninstaller, YesRemovesTheProductAndKeepsWhatIsNotItsOwn) {
  Install(2, u"Norvane Drawlet");
  WriteText(dest + u"Setup.stp", "left by a failed run");
  WriteText(dest + u"help\\my notes.txt", "the user's");
  WriteText(dest + u"My Drawings\\cat.drw", "the user's");
  // A shortcut of the same name that points elsewhere is not the product's.
  WriteText(root + u"Other\\Drawlet.exe", "another");
  Point(HKEY_CURRENT_USER, u"Desktop", common);
  CreateShortcut(root + u"Other\\Drawlet.exe", u"", name, 0, u"");
  Point(HKEY_CURRENT_USER, u"Desktop", desktop);
  ASSERT_TRUE(Exists(common + u"\\" + name + u".lnk"));

  const RunResult run = RunUninstaller(UninstallString(), {IDYES, IDOK});
  EXPECT_EQ(run.exitCode, static_cast<DWORD>(kRemoved));
  ASSERT_EQ(run.boxes.size(), 2u);
  EXPECT_EQ(run.boxes[0].caption, u"Uninstall Norvane Drawlet");
  EXPECT_TRUE(run.boxes[0].Has(u"Do you want to remove Norvane Drawlet 1.0"))
      << ToUtf8(run.boxes[0].text);
  EXPECT_EQ(run.boxes[0].buttons, (std::vector<int>{IDYES, IDNO}));
  EXPECT_TRUE(run.boxes[1].Has(u"has been removed")) << ToUtf8(run.boxes[1].text);

  ExpectRemoved(run);
  EXPECT_TRUE(Exists(dest + u"help\\my notes.txt"));
  EXPECT_TRUE(Exists(dest + u"My Drawings\\cat.drw"));
  EXPECT_TRUE(Exists(common + u"\\" + name + u".lnk"));
  EXPECT_TRUE(Exists(root + u"Other\\Drawlet.exe"));
}

TEST_F(Uninstaller, AChineseInstallationIsAskedInChineseAndLeavesNoFolder) {
  Install(0, u"诺凡画图");
  // Held open for a moment after the uninstaller ends, as a virus scanner
  // does: its deletion waits for that, and so does the folder's.
  const HANDLE scanner = CreateFileW(W(dest + u"Uninst.exe"), GENERIC_READ,
                                     FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                     nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(scanner, INVALID_HANDLE_VALUE);
  const RunResult run = RunUninstaller(UninstallString(), {IDYES, IDOK});
  Sleep(1000);
  CloseHandle(scanner);
  EXPECT_EQ(run.exitCode, static_cast<DWORD>(kRemoved));
  ASSERT_EQ(run.boxes.size(), 2u);
  EXPECT_EQ(run.boxes[0].caption, u"卸载 诺凡画图");
  EXPECT_TRUE(run.boxes[0].Has(u"诺凡画图 1.0")) << ToUtf8(run.boxes[0].text);
  EXPECT_TRUE(run.boxes[1].Has(u"已从此计算机中删除")) << ToUtf8(run.boxes[1].text);
  ExpectRemoved(run);
  EXPECT_FALSE(Exists(dest + u"help\\"));
  EXPECT_FALSE(Exists(dest)) << "the empty destination folder stays";
}

TEST_F(Uninstaller, NoChangesNothing) {
  Install(2, u"Norvane Drawlet");
  const std::vector<std::string> before = Tree();
  const RunResult run = RunUninstaller(UninstallString(), {IDNO});
  EXPECT_EQ(run.exitCode, static_cast<DWORD>(kCancelled));
  ASSERT_EQ(run.boxes.size(), 1u);
  // A copy to do the removal would have been started before the program
  // ended, and runs from its folder until it is done.
  EXPECT_EQ(CopyFolders(), std::vector<std::u16string>{});
  EXPECT_EQ(Tree(), before);
  EXPECT_TRUE(KeyExists());
  EXPECT_TRUE(Exists(DesktopLink()));
  EXPECT_TRUE(Exists(QuickLink()));
  EXPECT_EQ(UninstallString(), u"\"" + dest + u"Uninst.exe\"");
}

TEST_F(Uninstaller, AHeldFileIsNamedAndTheKeyKeptUntilASecondRun) {
  Install(2, u"Norvane Drawlet");
  const std::vector<std::string> before = Tree();
  // The product's help, open in a viewer; files before it in the list must
  // not go either.
  std::FILE* held = _wfsopen(W(dest + u"help\\index.htm"), L"rb", _SH_DENYRW);
  ASSERT_NE(held, nullptr);
  const RunResult first = RunUninstaller(UninstallString(), {IDYES, IDOK});
  std::fclose(held);
  EXPECT_EQ(first.exitCode, static_cast<DWORD>(kFileInUse));
  ASSERT_EQ(first.boxes.size(), 2u);
  EXPECT_TRUE(first.boxes[1].Has(dest + u"help\\index.htm")) << ToUtf8(first.boxes[1].text);
  EXPECT_EQ(first.boxes[1].buttons, std::vector<int>{IDOK});
  // Nothing is half-done: every file, shortcut and the key are still there.
  EXPECT_EQ(Tree(), before);
  EXPECT_TRUE(KeyExists());
  EXPECT_TRUE(Exists(DesktopLink()));

  const RunResult second = RunUninstaller(UninstallString(), {IDYES, IDOK});
  EXPECT_EQ(second.exitCode, static_cast<DWORD>(kRemoved));
  ExpectRemoved(second);
  EXPECT_FALSE(Exists(dest));
}

TEST_F(Uninstaller, SilentRunsWithoutAWindowAndTellsByItsExitCode) {
  Install(2, u"Norvane Drawlet");
  const std::u16string silent = UninstallString() + u" /S";
  std::FILE* held = _wfsopen(W(dest + u"readme.txt"), L"rb", _SH_DENYRW);
  ASSERT_NE(held, nullptr);
  const RunResult first = RunUninstaller(silent, {});
  std::fclose(held);
  EXPECT_EQ(first.exitCode, static_cast<DWORD>(kFileInUse));
  EXPECT_TRUE(first.boxes.empty());
  EXPECT_TRUE(KeyExists());
  for (const std::u16string& f : ProductFiles())
    EXPECT_TRUE(Exists(f)) << ToUtf8(f);

  const RunResult second = RunUninstaller(silent, {});
  EXPECT_EQ(second.exitCode, static_cast<DWORD>(kRemoved));
  EXPECT_TRUE(second.boxes.empty());
  ExpectRemoved(second);
  EXPECT_FALSE(Exists(dest));
}

TEST_F(Uninstaller, RefusesWithoutItsKeyItsListOrWithAnUnknownOption) {
  Install(2, u"Norvane Drawlet");
  const std::u16string program = dest + u"Uninst.exe";
  EXPECT_EQ(RunUninstaller(u"\"" + program + u"\" /S /Q", {}).exitCode, static_cast<DWORD>(kUsage));
  const RunResult unknown = RunUninstaller(u"\"" + program + u"\" /Q", {IDOK});
  EXPECT_EQ(unknown.exitCode, static_cast<DWORD>(kUsage));
  ASSERT_EQ(unknown.boxes.size(), 1u);
  EXPECT_TRUE(unknown.boxes[0].Has(u"/Q"));

  // A copy without the list of installed files, which its key names.
  const std::u16string bare = dest + u"Bare\\Uninst.exe";
  {
    std::FILE* in = _wfopen(W(program), L"rb");
    ASSERT_NE(in, nullptr);
    std::string bytes;
    char buffer[65536];
    for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, in)) > 0;)
      bytes.append(buffer, n);
    std::fclose(in);
    bytes.resize(UninstallListStart(bytes));
    WriteText(bare, bytes);
  }
  RegWriteText(HKEY_LOCAL_MACHINE, UninstallKeyPath(u"Bare"), u"UninstallString", bare);
  const RunResult noList = RunUninstaller(u"\"" + bare + u"\"", {IDOK});
  EXPECT_EQ(noList.exitCode, static_cast<DWORD>(kNoList));
  ASSERT_EQ(noList.boxes.size(), 1u);
  EXPECT_TRUE(noList.boxes[0].Has(u"no list of installed files")) << ToUtf8(noList.boxes[0].text);

  // Without its key: nothing to act on.
  SHDeleteKeyW(HKEY_LOCAL_MACHINE, W(keyPath));
  EXPECT_EQ(RunUninstaller(u"\"" + program + u"\" /S", {}).exitCode,
            static_cast<DWORD>(kNotInstalled));
  for (const std::u16string& f : ProductFiles())
    EXPECT_TRUE(Exists(f)) << ToUtf8(f);
  EXPECT_TRUE(Exists(DesktopLink()));
}

TEST_F(Uninstaller, FindsItsKeyWhateverTheLetterCaseAndQuotes) {
  Install(0, u"诺凡画图");
  RegWriteText(HKEY_LOCAL_MACHINE, keyPath, u"UninstallString",
               u"\"" + AsciiUpper(dest) + u"UNINST.EXE\"");
  const auto found = FindInstallation(dest + u"uninst.exe");
  ASSERT_TRUE(found.has_value());
  EXPECT_EQ(found->keyName, name);
  EXPECT_EQ(found->destDir, dest);
  EXPECT_EQ(found->displayName, u"诺凡画图");
  EXPECT_EQ(found->displayVersion, u"1.0");
  EXPECT_TRUE(found->chinese);
  EXPECT_FALSE(FindInstallation(dest + u"Other.exe").has_value());
  // Its shortcuts are the ones that point into its folder.
  const auto links = OwnShortcuts(name, dest);
  EXPECT_EQ(links.size(), 2u);
  EXPECT_TRUE(OwnShortcuts(name, dest + u"help\\").empty());
}

TEST_F(Uninstaller, ReadOnlyFilesGoAndMissingOnesAreNoFailure) {
  const std::u16string top = root + u"files\\";
  const std::u16string locked = root + u"files\\locked.txt";
  const std::u16string plain = root + u"files\\plain.txt";
  const std::u16string missing = root + u"files\\missing.txt";
  WriteText(locked, "r/o");
  WriteText(plain, "plain");
  SetFileAttributesW(W(locked), FILE_ATTRIBUTE_READONLY);
  const std::vector<std::u16string> files = {missing, locked, plain};
  EXPECT_FALSE(FindBlockedFile(files, top).has_value());
  std::FILE* held = _wfsopen(W(plain), L"rb", _SH_DENYRW);
  ASSERT_NE(held, nullptr);
  const auto blocked = FindBlockedFile(files, top);
  ASSERT_TRUE(blocked.has_value());
  EXPECT_EQ(blocked->path, plain);
  EXPECT_TRUE(Exists(locked)) << "the check deletes nothing";
  const auto failed = DeleteFiles(files, top);
  ASSERT_TRUE(failed.has_value());
  EXPECT_EQ(failed->path, plain);
  std::fclose(held);
  EXPECT_FALSE(Exists(locked));
  EXPECT_FALSE(DeleteFiles(files, top).has_value());
  EXPECT_FALSE(Exists(plain));
}

// The 32-bit uninstaller on a 64-bit Windows (WoW64): its key is under
// Wow6432Node as 64-bit programs, the system's list of programs among them,
// see it, and the product sits in Program Files (x86). Runs in the wow64
// test bed only (TEST_BED=wow64).
namespace {

struct UninstallerWow64 : Uninstaller {
  void SetUp() override {
    wchar_t bed[16] = {};
    GetEnvironmentVariableW(L"TEST_BED", bed, 16);
    if (UpToNul(bed, 16) != u"wow64")
      GTEST_SKIP() << "only in the wow64 test bed";
    BOOL wow64 = FALSE;
    ASSERT_TRUE(IsWow64Process(GetCurrentProcess(), &wow64));
    ASSERT_TRUE(wow64) << "the test program does not run under WoW64";
    Uninstaller::SetUp();
  }
  // The key as a 64-bit reader sees it: the path below SOFTWARE, with or
  // without Wow6432Node.
  static std::vector<std::pair<std::wstring, std::wstring>> Values64(const std::u16string& path) {
    auto values = testsupport::KeyValues(HKEY_LOCAL_MACHINE, W(path), KEY_WOW64_64KEY);
    std::sort(values.begin(), values.end());
    return values;
  }
  std::u16string Wow64KeyPath() const {
    return u"SOFTWARE\\Wow6432Node\\" + keyPath.substr(keyPath.find(u'\\') + 1);
  }
};

}  // namespace

// The key under Wow6432Node and the system file in SysWOW64 are the setup
// program's to write (InstallWow64 in install_test checks them as Setup.exe
// leaves them); here the fixture's key is only the way in.
TEST_F(UninstallerWow64, FindsItsKeyUnderWow6432NodeAndRemovesTheProduct) {
  Install(2, u"Norvane Drawlet");
  ASSERT_EQ(dest.rfind(u"C:\\Program Files (x86)\\Norvane Soft\\", 0), 0u) << ToUtf8(dest);
  wchar_t sysWow64[MAX_PATH] = {};
  ASSERT_GT(GetSystemWow64DirectoryW(sysWow64, MAX_PATH), 0u);
  const std::u16string systemCopy = UpToNul(sysWow64, MAX_PATH) + u"\\NvDrawlet.dat";
  ASSERT_TRUE(Exists(systemCopy));

  // Run as the list of programs runs it: the UninstallString of the 64-bit view.
  std::u16string command;
  for (const auto& [valueName, value] : Values64(Wow64KeyPath())) {
    if (valueName == L"UninstallString")
      command = U(value.c_str());
  }
  ASSERT_EQ(command, u"\"" + dest + u"Uninst.exe\"");
  const RunResult run = RunUninstaller(command, {IDYES, IDOK});
  EXPECT_EQ(run.exitCode, static_cast<DWORD>(kRemoved));
  ASSERT_EQ(run.boxes.size(), 2u);
  EXPECT_TRUE(run.boxes[0].Has(u"Do you want to remove Norvane Drawlet 1.0"))
      << ToUtf8(run.boxes[0].text);
  ExpectRemoved(run);
  EXPECT_TRUE(Values64(Wow64KeyPath()).empty());
  EXPECT_TRUE(Exists(systemCopy)) << "other programs may share it";
  // Under emulation this bed's system can keep the ended program's file
  // open for longer than the copy waits; the folder is then down for
  // deletion at the next restart.
  const std::u16string folder = dest.substr(0, dest.size() - 1);
  const auto pending = PendingDeletions();
  EXPECT_TRUE(!Exists(dest) || std::any_of(pending.begin(), pending.end(), [&](const auto& p) {
    return p.size() >= folder.size() && SamePath(p.substr(p.size() - folder.size()), folder);
  })) << "the destination stays and is not down for deletion";
}

namespace {

// The uninstall key as a user without administrator rights sees it: it may
// be read and nothing else. (Wine runs every program as an administrator,
// but checks a key's access list as Windows does.) The access list goes
// back when this goes.
class ReadOnlyKey {
 public:
  explicit ReadOnlyKey(const std::u16string& keyPath) : path_(keyPath) {
    EXPECT_EQ(SetAccess(L"D:PAI(A;;KR;;;WD)"), ERROR_SUCCESS);
  }
  ~ReadOnlyKey() { SetAccess(L"D:PAI(A;;KA;;;WD)"); }
  ReadOnlyKey(const ReadOnlyKey&) = delete;
  ReadOnlyKey& operator=(const ReadOnlyKey&) = delete;

 private:
  LSTATUS SetAccess(const wchar_t* sddl) {
    PSECURITY_DESCRIPTOR sd = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl, SDDL_REVISION_1, &sd, nullptr))
      return static_cast<LSTATUS>(GetLastError());
    RegKey key;
    LSTATUS s = RegOpenKeyExW(HKEY_LOCAL_MACHINE, W(path_), 0, WRITE_DAC, key.Out());
    if (s == ERROR_SUCCESS)
      s = RegSetKeySecurity(key.get(), DACL_SECURITY_INFORMATION, sd);
    LocalFree(sd);
    return s;
  }
  std::u16string path_;
};

}  // namespace

TEST_F(Uninstaller, ARunWithoutTheRightsToRemoveSaysItNeedsAnAdministrator) {
  // Started unelevated (as the list of programs starts an uninstaller
  // before it asks), the key can be read but not deleted: the run says it
  // must be run as an administrator, removes nothing and keeps the key.
  Install(2, u"Norvane Drawlet");
  const std::u16string program = UninstallProgramOf(UninstallString());
  {
    ReadOnlyKey readOnly(keyPath);
    ASSERT_EQ(OpenKeyForDeletion(keyPath), static_cast<LSTATUS>(ERROR_ACCESS_DENIED))
        << "this system does not check a key's access list";
    const RunResult silent = RunUninstaller(u"\"" + program + u"\" /S", {});
    EXPECT_EQ(silent.exitCode, static_cast<DWORD>(kNeedsAdministrator));
    EXPECT_TRUE(silent.boxes.empty());
    const RunResult shown = RunUninstaller(u"\"" + program + u"\"", {IDOK});
    EXPECT_EQ(shown.exitCode, static_cast<DWORD>(kNeedsAdministrator));
    ASSERT_EQ(shown.boxes.size(), 1u);
    EXPECT_EQ(shown.boxes[0].caption, u"Uninstall Norvane Drawlet");
    EXPECT_TRUE(shown.boxes[0].Has(u"can only be removed by an administrator"))
        << ToUtf8(shown.boxes[0].text);
    for (const std::u16string& f : ProductFiles())
      EXPECT_TRUE(Exists(f)) << ToUtf8(f);
    EXPECT_TRUE(Exists(DesktopLink()));
    EXPECT_TRUE(Exists(QuickLink()));
    EXPECT_TRUE(KeyExists());
  }
  // The same in Chinese for a Chinese installation.
  RegWriteText(HKEY_LOCAL_MACHINE, keyPath, u"Publisher", u"诺凡软件");
  RegWriteText(HKEY_LOCAL_MACHINE, keyPath, u"DisplayName", u"诺凡画图");
  {
    ReadOnlyKey readOnly(keyPath);
    const RunResult zh = RunUninstaller(u"\"" + program + u"\"", {IDOK});
    EXPECT_EQ(zh.exitCode, static_cast<DWORD>(kNeedsAdministrator));
    ASSERT_EQ(zh.boxes.size(), 1u);
    EXPECT_EQ(zh.boxes[0].caption, u"卸载 诺凡画图");
    EXPECT_TRUE(zh.boxes[0].Has(u"只有管理员才能卸载 诺凡画图")) << ToUtf8(zh.boxes[0].text);
  }
  // With the rights back, the same program removes everything.
  const RunResult run = RunUninstaller(u"\"" + program + u"\" /S", {});
  EXPECT_EQ(run.exitCode, static_cast<DWORD>(kRemoved));
  ExpectRemoved(run);
}

// What an unelevated program of the same user can do to what the elevated
// uninstaller trusts: plant files, variables, links and shortcuts.
namespace {

// Lets every account change the folder: under Wine its Unix mode becomes
// 0777, which Wine shows as Everyone's write and delete-child.
bool OpenToEveryone(const std::u16string& folder) {
  PSECURITY_DESCRIPTOR sd = nullptr;
  if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(L"D:(A;OICI;FA;;;WD)", SDDL_REVISION_1,
                                                            &sd, nullptr)) {
    return false;
  }
  SetFileSecurityW(W(folder), DACL_SECURITY_INFORMATION, sd);
  LocalFree(sd);
  DWORD size = 0;
  const SECURITY_INFORMATION what = OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION;
  GetFileSecurityW(W(folder), what, nullptr, 0, &size);
  std::vector<char> now(size + 1);
  return GetFileSecurityW(W(folder), what, now.data(), size, &size) &&
         win::OthersMayChange(now.data(), win::SelfSid(), false);
}

// Starts a command line that inherits this process's inheritable handles
// and waits for it; its exit code.
DWORD RunInheriting(const std::u16string& commandLine) {
  testsupport::Process::Options options;
  options.inheritHandles = true;
  const int code = testsupport::RunProcess(std::wstring(W(commandLine)), 60000, options);
  if (code == -1)
    ADD_FAILURE() << "it did not start or did not end: " << ToUtf8(commandLine);
  return static_cast<DWORD>(code);
}

}  // namespace

// Where a user could have changed the installation's folder, what stands in
// it may be theirs: nothing is undone or removed, and the folder is named.
TEST_F(Uninstaller, AFolderOthersMayChangeIsNamedAndNothingRemoved) {
  Install(2, u"Norvane Drawlet");
  ASSERT_TRUE(OpenToEveryone(dest));
  const std::vector<std::string> before = Tree();
  for (const bool silent : {true, false}) {
    SCOPED_TRACE(silent ? "silent" : "with its messages");
    const RunResult run = RunUninstaller(UninstallString() + (silent ? u" /S" : u""), {IDOK});
    EXPECT_EQ(run.exitCode, static_cast<DWORD>(kFolderOthersMayChange));
    ASSERT_EQ(run.boxes.size(), silent ? 0u : 1u);
    if (!silent) {
      EXPECT_TRUE(run.boxes[0].Has(dest.substr(0, dest.size() - 1) + u": what is in it"))
          << ToUtf8(run.boxes[0].text);
    }
    EXPECT_EQ(Tree(), before);
    EXPECT_TRUE(KeyExists());
  }
}

// A file put at the program's path, even with the program's own bytes, is
// not the running image: nothing of it is copied.
TEST_F(Uninstaller, OnlyTheRunningImageIsCopied) {
  wchar_t self[MAX_PATH] = {};
  const DWORD n = GetModuleFileNameW(nullptr, self, MAX_PATH);
  const std::u16string own = UpToNul(self, n), planted = root + u"planted.exe";
  ASSERT_TRUE(CopyFileW(self, W(planted), FALSE));
  EXPECT_EQ(RunningImage(own), ReadBytes(own));
  EXPECT_EQ(RunningImage(planted), "");
}

TEST_F(Uninstaller, TheCopyGoesIntoANewFolderAndNeverOverAPlantedFile) {
  Install(2, u"Norvane Drawlet");
  const std::u16string program = dest + u"Uninst.exe";
  const std::u16string a = RandomName(), b = RandomName();
  EXPECT_EQ(a.size(), 32u);
  EXPECT_EQ(a.find_first_not_of(u"0123456789abcdef"), std::u16string::npos) << ToUtf8(a);
  EXPECT_NE(a, b);

  // Where no copy is made: at a name where a folder or file was planted
  // (nothing of it is used, nothing overwritten), in a parent that is a link
  // to a folder elsewhere, in a parent that every account may change.
  WriteText(root + u"planted\\Uninst.exe", "the attacker's program");
  ASSERT_TRUE(CreateDirectoryW(W(root + u"empty"), nullptr));
  const std::u16string elsewhere = root + u"elsewhere";
  ASSERT_TRUE(CreateDirectoryW(W(elsewhere), nullptr));
  const std::u16string open = root + u"open";
  ASSERT_TRUE(CreateDirectoryW(W(open), nullptr));
  struct Row {
    std::u16string parent, name;
    bool ready;
  };
  const Row refused[] = {
      {root, u"planted", true},
      {root, u"empty", true},
      {root + u"linked\\", u"copy", MakeLink(root + u"linked", elsewhere)},
      {open + u"\\", u"copy", OpenToEveryone(open)},
  };
  for (const Row& row : refused) {
    SCOPED_TRACE(ToUtf8(row.parent + row.name));
    EXPECT_TRUE(row.ready) << "the case could not be made";
    TRemovalCopy copy;
    EXPECT_FALSE(MakeRemovalCopy(ReadBytes(program), row.parent, row.name, copy));
    EXPECT_EQ(copy.file, INVALID_HANDLE_VALUE);
  }
  EXPECT_EQ(ReadBytes(root + u"planted\\Uninst.exe"), "the attacker's program");
  EXPECT_FALSE(Exists(root + u"empty\\Uninst.exe"));
  EXPECT_TRUE(testsupport::Tree(W(elsewhere)).empty());
  EXPECT_TRUE(testsupport::Tree(W(open)).empty());

  const std::u16string fresh = root + u"fresh\\";
  TRemovalCopy copy;
  ASSERT_TRUE(MakeRemovalCopy(ReadBytes(program), root, u"fresh", copy));
  EXPECT_EQ(copy.path, fresh + u"Uninst.exe");
  {
    // Readable by whoever leaves it to be deleted, as the system's loader
    // does.
    const HANDLE h = CreateFileW(W(copy.path), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE,
                                 nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    const std::string expected = ReadBytes(program);
    std::string got(expected.size() + 1, '\0');
    DWORD n = 0;
    EXPECT_TRUE(ReadFile(h, got.data(), static_cast<DWORD>(got.size()), &n, nullptr));
    got.resize(n);
    CloseHandle(h);
    EXPECT_TRUE(got == expected) << "the copy does not hold the program's bytes";
  }
  // Nobody can change, replace or rename it, nor its folder, until it has
  // ended.
  const HANDLE write = CreateFileW(W(copy.path), GENERIC_WRITE,
                                   FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                   OPEN_EXISTING, 0, nullptr);
  EXPECT_EQ(write, INVALID_HANDLE_VALUE);
  if (write != INVALID_HANDLE_VALUE)
    CloseHandle(write);
  EXPECT_FALSE(MoveFileW(W(copy.path), W(fresh + u"moved.exe")));
  EXPECT_FALSE(DeleteFileW(W(copy.path)));
  EXPECT_FALSE(MoveFileW(W(root + u"fresh"), W(root + u"fresh-moved")));
  EXPECT_TRUE(Exists(copy.path));
  // Only Administrators and SYSTEM may write in the folder. Wine keeps no
  // descriptor of a file: it gives one made from the Unix permissions.
  if (!testsupport::UnderWine()) {
    DWORD size = 0;
    GetFileSecurityW(W(fresh), DACL_SECURITY_INFORMATION, nullptr, 0, &size);
    std::vector<char> sd(size + 1);
    ASSERT_TRUE(GetFileSecurityW(W(fresh), DACL_SECURITY_INFORMATION, sd.data(), size, &size));
    BOOL present = FALSE, defaulted = FALSE;
    PACL dacl = nullptr;
    ASSERT_TRUE(GetSecurityDescriptorDacl(sd.data(), &present, &dacl, &defaulted));
    ASSERT_TRUE(present && dacl != nullptr);
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    GetSecurityDescriptorControl(sd.data(), &control, &revision);
    EXPECT_TRUE(control & SE_DACL_PROTECTED) << "the folder inherits its parent's entries";
    for (DWORD i = 0; i < dacl->AceCount; ++i) {
      void* ace = nullptr;
      ASSERT_TRUE(GetAce(dacl, i, &ace));
      auto* allowed = static_cast<ACCESS_ALLOWED_ACE*>(ace);
      EXPECT_EQ(allowed->Header.AceType, ACCESS_ALLOWED_ACE_TYPE);
      wchar_t* text = nullptr;
      ASSERT_TRUE(ConvertSidToStringSidW(&allowed->SidStart, &text));
      const std::u16string sid = U(text);
      LocalFree(text);
      const DWORD writes = GENERIC_ALL | GENERIC_WRITE | FILE_WRITE_DATA | FILE_APPEND_DATA |
                           FILE_DELETE_CHILD | DELETE | WRITE_DAC | WRITE_OWNER;
      if (sid != u"S-1-5-18" && sid != u"S-1-5-32-544") {
        EXPECT_EQ(allowed->Mask & writes, 0u) << ToUtf8(sid) << " may write";
      }
    }
  }
  // Once the handles close (when the copy has ended), the copy and its
  // folder go.
  copy.Close();
  EXPECT_FALSE(Exists(copy.path));
  EXPECT_FALSE(Exists(fresh));
}

TEST_F(Uninstaller, AVariableInTheEnvironmentDoesNotMakeItTheCopy) {
  Install(2, u"Norvane Drawlet");
  // Set for every later process of the user, as a user may.
  SetEnvironmentVariableW(L"NVUNINST_ORIGINAL", W(dest + u"Uninst.exe"));
  SetEnvironmentVariableW(L"NVUNINST_WAIT_FOR", L"0");
  const RunResult run = RunUninstaller(UninstallString() + u" /S", {});
  SetEnvironmentVariableW(L"NVUNINST_ORIGINAL", nullptr);
  SetEnvironmentVariableW(L"NVUNINST_WAIT_FOR", nullptr);
  EXPECT_EQ(run.exitCode, static_cast<DWORD>(kRemoved));
  ExpectRemoved(run);
  EXPECT_FALSE(Exists(dest));
}

TEST_F(Uninstaller, ACopyStartedByAnotherThanTheOriginalRemovesNothing) {
  Install(2, u"Norvane Drawlet");
  const std::u16string program = dest + u"Uninst.exe";
  // A copy of the program as the attacker's own process starts it.
  const std::u16string forged = root + u"forged\\Uninst.exe";
  WriteText(forged, ReadBytes(program));
  // A handle to a process that is not the copy's parent, handed down.
  testsupport::Process other;
  testsupport::Process::Options inheritable;
  inheritable.inheritableHandle = true;
  ASSERT_TRUE(other.Start(L"cmd.exe /c exit 0", inheritable));
  other.Wait(10000);
  const std::u16string quoted = u"\"" + program + u"\"";
  for (const std::u16string& handle :
       {IntToText(static_cast<int64_t>(reinterpret_cast<uintptr_t>(other.Handle()))),
        std::u16string(u"4660"), std::u16string(u"x")}) {
    const DWORD code =
        RunInheriting(u"\"" + forged + u"\" /RemoveOriginal " + handle + u" 0 " + quoted);
    EXPECT_EQ(code, static_cast<DWORD>(kUsage)) << ToUtf8(handle);
    EXPECT_TRUE(Exists(program)) << ToUtf8(handle);
  }
  EXPECT_TRUE(KeyExists());
  for (const std::u16string& f : ProductFiles())
    EXPECT_TRUE(Exists(f)) << ToUtf8(f);
}

TEST_F(Uninstaller, NothingIsDeletedThroughALinkInTheDestination) {
  Install(2, u"Norvane Drawlet");
  // The help folder swapped for a link to another folder that holds files
  // of the same names.
  const std::u16string victim = root + u"victim";
  ASSERT_TRUE(MoveFileW(W(dest + u"help"), W(victim)));
  if (!MakeLink(dest + u"help", victim))
    GTEST_SKIP() << "no symbolic link or junction can be made here";
  ASSERT_TRUE(Exists(dest + u"help\\index.htm"));
  std::vector<std::u16string> victims;
  for (const std::u16string& f : ProductFiles()) {
    if (LiesIn(f, dest + u"help\\"))
      victims.push_back(victim + f.substr(dest.size() + 4));
  }
  ASSERT_FALSE(victims.empty());
  // A held file behind the link blocks nothing either.
  std::FILE* held = _wfsopen(W(victims[0]), L"rb", _SH_DENYRW);
  ASSERT_NE(held, nullptr);
  const RunResult run = RunUninstaller(UninstallString() + u" /S", {});
  std::fclose(held);
  EXPECT_EQ(run.exitCode, static_cast<DWORD>(kRemoved));
  // Only once the copy has done all its deleting does "nothing deleted
  // through the link" mean anything.
  ASSERT_FALSE(WaitForSelfRemoval(run).empty()) << "the copy in the temporary folder never ended";
  for (const std::u16string& v : victims)
    EXPECT_TRUE(Exists(v)) << "deleted through the link: " << ToUtf8(v);
  EXPECT_TRUE(IsLinkHere(dest + u"help")) << "the link itself is left alone";
  EXPECT_TRUE(Exists(dest + u"help\\index.htm"));
  EXPECT_FALSE(Exists(dest + u"Drawlet.exe"));
  EXPECT_FALSE(Exists(dest + u"readme.txt"));
  EXPECT_FALSE(KeyExists());

  // The same rule for the files one by one.
  const std::u16string top = root + u"top\\";
  WriteText(top + u"plain\\a.txt", "a");
  ASSERT_TRUE(MakeLink(root + u"top\\linked", victim));
  const std::vector<std::u16string> files = {top + u"linked\\index.htm", top + u"plain\\a.txt"};
  EXPECT_FALSE(FindBlockedFile(files, top).has_value());
  EXPECT_FALSE(DeleteFiles(files, top).has_value());
  EXPECT_TRUE(Exists(victims[0]));
  EXPECT_FALSE(Exists(top + u"plain\\a.txt"));
  RemoveEmptyFolders({top + u"linked\\", top + u"plain\\"}, top);
  EXPECT_TRUE(IsLinkHere(top + u"linked"));
  EXPECT_FALSE(Exists(top + u"plain"));
}

TEST_F(Uninstaller, AShortcutGoesOnlyWhenItPointsIntoTheDestinationWhenDeleted) {
  Install(2, u"Norvane Drawlet");
  const std::vector<std::u16string> links = OwnShortcuts(name, dest);
  ASSERT_EQ(links.size(), 2u);
  // Between the look and the deletion, the desktop's shortcut is made to
  // point elsewhere.
  WriteText(root + u"Other\\Drawlet.exe", "another");
  CreateShortcut(root + u"Other\\Drawlet.exe", u"", name, 0, u"");
  ASSERT_TRUE(LiesIn(ShortcutTarget(DesktopLink()), root + u"Other\\"));
  for (const std::u16string& link : links)
    DeleteOwnShortcut(link, dest);
  EXPECT_TRUE(Exists(DesktopLink())) << "a shortcut pointing elsewhere was deleted";
  EXPECT_FALSE(Exists(QuickLink()));

  // A link named like the shortcut, to a shortcut elsewhere that points into
  // the destination: neither goes.
  ASSERT_TRUE(DeleteFileW(W(DesktopLink())));
  const std::u16string elsewhere = root + u"Elsewhere\\" + name + u".lnk";
  Point(HKEY_CURRENT_USER, u"Desktop", root + u"Elsewhere");
  SHCreateDirectoryExW(nullptr, W(root + u"Elsewhere"), nullptr);
  CreateShortcut(dest + u"Drawlet.exe", u"", name, 0, u"");
  Point(HKEY_CURRENT_USER, u"Desktop", desktop);
  ASSERT_TRUE(Exists(elsewhere));
  if (MakeLink(DesktopLink(), elsewhere)) {
    EXPECT_FALSE(DeleteOwnShortcut(DesktopLink(), dest));
    EXPECT_TRUE(IsLinkHere(DesktopLink()));
    EXPECT_TRUE(Exists(elsewhere));
  }
  // A folder of that name stays; a read-only shortcut into the destination
  // goes.
  const std::u16string folder = root + u"Elsewhere\\Folder.lnk";
  ASSERT_TRUE(CreateDirectoryW(W(folder), nullptr));
  EXPECT_FALSE(DeleteOwnShortcut(folder, dest));
  EXPECT_TRUE(Exists(folder));
  SetFileAttributesW(W(elsewhere), FILE_ATTRIBUTE_READONLY);
  EXPECT_TRUE(DeleteOwnShortcut(elsewhere, dest));
  EXPECT_FALSE(Exists(elsewhere));
}

TEST_F(Uninstaller, TheElevatedCopyIgnoresTheTemporaryFolderTheUserNames) {
  // %TEMP% and %TMP% come from the environment, which the user sets
  // (HKCU\Environment) for the programs an administrator starts too.
  Install(2, u"Norvane Drawlet");
  const std::u16string userTemp = root + u"usertemp\\";
  ASSERT_TRUE(CreateDirectoryW(W(userTemp), nullptr));
  SetEnvironmentVariableW(L"TEMP", W(userTemp));
  SetEnvironmentVariableW(L"TMP", W(userTemp));
  const RunResult run = RunUninstaller(UninstallString() + u" /S", {});
  SetEnvironmentVariableW(L"TEMP", nullptr);
  SetEnvironmentVariableW(L"TMP", nullptr);
  EXPECT_EQ(run.exitCode, static_cast<DWORD>(kRemoved));
  ExpectRemoved(run);  // the copy was made, and went, in the Windows folder's Temp
  EXPECT_TRUE(testsupport::Tree(W(userTemp)).empty());
  for (const std::u16string& p : PendingDeletions())
    EXPECT_EQ(p.find(userTemp), std::u16string::npos) << ToUtf8(p);
}

TEST_F(Uninstaller, OnlyTheFileThatWasCheckedIsStarted) {
  // The path names another file by the time the process is made (a folder
  // on the way swapped for a link): here a second copy of the same bytes.
  Install(2, u"Norvane Drawlet");
  const std::u16string program = dest + u"Uninst.exe";
  const std::u16string other = root + u"other\\Uninst.exe";
  WriteText(other, ReadBytes(program));
  const std::u16string line = u"\"" + program + u"\" /S /Q";  // ends at once with kUsage
  for (const auto& [held, runs] : {std::pair{other, false}, std::pair{program, true}}) {
    SCOPED_TRACE(ToUtf8(held));
    const win::Handle file(
        CreateFileW(W(held), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(file);
    const win::Handle process = StartExactly(program, line, file.get(), GetSystemDir(), false);
    ASSERT_EQ(static_cast<bool>(process), runs);
    if (runs) {
      DWORD code = 0;
      ASSERT_EQ(WaitForSingleObject(process.get(), 30000), WAIT_OBJECT_0);
      GetExitCodeProcess(process.get(), &code);
      EXPECT_EQ(code, static_cast<DWORD>(kUsage));
    }
  }
}
