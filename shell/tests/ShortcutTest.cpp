// Shell folders and shortcut files, with the "Shell Folders" values pointed
// at folders of the test.
#include "shell/tests/ShellFixture.h"
#include "testsupport/Files.h"
#include "testsupport/Links.h"

#include <objbase.h>
#include <wrl/client.h>

namespace {

const std::u16string kShellFolders =
    u"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
// The shell keeps "Shell Folders" in step with "User Shell Folders", so a
// test points both at its folders.
const std::u16string kUserShellFolders =
    u"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders";
const std::u16string kQuick = u"\\Microsoft\\Internet Explorer\\Quick Launch";

struct Shortcuts : testing::Test {
  std::u16string root, desktop, appData, common, target;
  std::u16string savedDesktop, savedAppData, savedCommon;

  void SetUp() override {
    root = ScratchFolder(u"links");
    desktop = root + u"Desktop";
    appData = root + u"AppData";
    common = root + u"Common";
    for (const auto& d : {desktop, appData + kQuick, common, root + u"Tools\\Drawlet"}) {
      SHCreateDirectoryExW(nullptr, W(d), nullptr);
    }
    target = root + u"Tools\\Drawlet\\Drawlet.exe";
    HANDLE f = CreateFileW(W(target), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    CloseHandle(f);
    savedDesktop = RegReadText(HKEY_CURRENT_USER, kShellFolders, u"Desktop");
    savedAppData = RegReadText(HKEY_CURRENT_USER, kShellFolders, u"AppData");
    savedCommon = RegReadText(HKEY_LOCAL_MACHINE, kShellFolders, u"Common Desktop");
    Point(HKEY_CURRENT_USER, u"Desktop", desktop);
    Point(HKEY_CURRENT_USER, u"AppData", appData);
    Point(HKEY_LOCAL_MACHINE, u"Common Desktop", common);
  }
  static void Point(HKEY root, const std::u16string& name, const std::u16string& folder) {
    RegWriteText(root, kUserShellFolders, name, folder);
    RegWriteText(root, kShellFolders, name, folder);
  }
  void TearDown() override {
    Point(HKEY_CURRENT_USER, u"Desktop", savedDesktop);
    Point(HKEY_CURRENT_USER, u"AppData", savedAppData);
    Point(HKEY_LOCAL_MACHINE, u"Common Desktop", savedCommon);
  }

  // Target, arguments and working directory of a shortcut file.
  struct Link {
    std::u16string path, arguments, workingDir;
  };
  static Link Read(const std::u16string& file) {
    Link l;
    Microsoft::WRL::ComPtr<IShellLinkW> link;
    CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                     reinterpret_cast<void**>(link.GetAddressOf()));
    Microsoft::WRL::ComPtr<IPersistFile> pf;
    link.As(&pf);
    if (FAILED(pf->Load(W(file), STGM_READ)))
      return l;
    wchar_t buffer[MAX_PATH] = {};
    link->GetPath(buffer, MAX_PATH, nullptr, 0);
    l.path = UpToNul(buffer, MAX_PATH);
    link->GetArguments(buffer, MAX_PATH);
    l.arguments = UpToNul(buffer, MAX_PATH);
    link->GetWorkingDirectory(buffer, MAX_PATH);
    l.workingDir = UpToNul(buffer, MAX_PATH);
    return l;
  }
};

}  // namespace

TEST_F(Shortcuts, ShellFoldersComeFromTheRegistry) {
  EXPECT_EQ(GetShellFolder(0), desktop);
  EXPECT_EQ(GetShellFolder(1), appData + kQuick);
  EXPECT_EQ(GetShellFolder(5), u"");
  RegKey k;
  RegOpenKeyExW(HKEY_CURRENT_USER, W(kShellFolders), 0, KEY_ALL_ACCESS, k.Out());
  RegDeleteValueW(k.get(), L"AppData");
  EXPECT_EQ(GetShellFolder(1), kQuick);  // the suffix alone
}

TEST_F(Shortcuts, CreateWritesTargetArgumentsAndWorkingDirectory) {
  CreateShortcut(target, u"", u"诺凡画图", 0, u"");
  const std::u16string file = desktop + u"\\诺凡画图.lnk";
  ASSERT_TRUE(IsFile(file));
  const Link l = Read(file);
  EXPECT_EQ(l.path, target);
  EXPECT_EQ(l.arguments, u"");
  EXPECT_EQ(l.workingDir, root + u"Tools\\Drawlet\\");
  EXPECT_EQ(ResolveShortcut(file), target);
}

TEST_F(Shortcuts, LinkNamesLoseTheirExtensionAndFolder) {
  CreateShortcut(target, u"", u"Drawlet 3.50", 0, u"");
  EXPECT_TRUE(IsFile(desktop + u"\\Drawlet 3.lnk"));
  CreateShortcut(target, u"", u"Tools\\Drawlet", 1, u"");
  EXPECT_TRUE(IsFile(appData + kQuick + u"\\Drawlet.lnk"));
  // Finding adds ".lnk" to the whole name.
  EXPECT_EQ(FindShortcutFolder(u"Drawlet 3.50", u"Desktop"), u"");
  EXPECT_EQ(FindShortcutFolder(u"Drawlet 3", u"Desktop"), root + u"Tools\\Drawlet\\");
}

TEST_F(Shortcuts, NothingIsCreatedWithoutAFolder) {
  CreateShortcut(target, u"", u"Nowhere", 5, u"");
  CreateShortcut(target, u"", u"Nowhere", 0, u"missing sub");
  EXPECT_FALSE(IsFile(desktop + u"\\missing sub\\Nowhere.lnk"));
  // Without the value (the shell would copy it back from "User Shell
  // Folders", so both go): nothing, and no error.
  for (const auto& key : {kShellFolders, kUserShellFolders}) {
    RegKey k;
    RegOpenKeyExW(HKEY_CURRENT_USER, W(key), 0, KEY_ALL_ACCESS, k.Out());
    RegDeleteValueW(k.get(), L"Desktop");
  }
  EXPECT_NO_THROW(CreateShortcut(target, u"", u"Nowhere", 0, u""));
  WIN32_FIND_DATAW data;
  HANDLE h = FindFirstFileW(W(desktop + u"\\*.lnk"), &data);
  EXPECT_EQ(h, INVALID_HANDLE_VALUE);
  if (h != INVALID_HANDLE_VALUE)
    FindClose(h);
}

TEST_F(Shortcuts, AnExistingSubfolderIsUsed) {
  SHCreateDirectoryExW(nullptr, W(desktop + u"\\Norvane"), nullptr);
  CreateShortcut(target, u"", u"Drawlet", 0, u"Norvane");
  EXPECT_TRUE(IsFile(desktop + u"\\Norvane\\Drawlet.lnk"));
}

TEST_F(Shortcuts, ResolvingWhatIsNoShortcut) {
  EXPECT_EQ(ResolveShortcut(root + u"missing.lnk"), u"unable to resolve link");
  EXPECT_EQ(ResolveShortcut(target), u"unable to resolve link");  // not a link file
}

TEST_F(Shortcuts, FindLooksInQuickLaunchOrTheDesktopsOnly) {
  CreateShortcut(target, u"", u"Drawlet", 1, u"");
  EXPECT_EQ(FindShortcutFolder(u"Drawlet", u"QuickLaunch"), root + u"Tools\\Drawlet\\");
  EXPECT_EQ(FindShortcutFolder(u"Drawlet", u"quicklaunch"), u"");
  EXPECT_EQ(FindShortcutFolder(u"Drawlet", u"Desktop"), u"");

  // Only on the all-users desktop: found through "Common Desktop".
  Point(HKEY_CURRENT_USER, u"Desktop", common);
  CreateShortcut(target, u"", u"Shared", 0, u"");
  Point(HKEY_CURRENT_USER, u"Desktop", desktop);
  EXPECT_EQ(FindShortcutFolder(u"Shared", u"Desktop"), root + u"Tools\\Drawlet\\");
  EXPECT_EQ(FindShortcutFolder(u"Shared", u"QuickLaunch"), u"");
}

// A user may point a shell folder anywhere, and plant links in the folders
// that are theirs: the elevated setup writes no shortcut through a link.
TEST_F(Shortcuts, NothingIsWrittenThroughALink) {
  const std::u16string victim = root + u"Victim";
  const std::u16string victimFile = root + u"victim.txt";
  SHCreateDirectoryExW(nullptr, W(victim + u"\\Desktop"), nullptr);
  testsupport::WriteAll(W(victimFile), "the machine's own");
  struct Row {
    const char* what;
    std::u16string desktop;  // what "Desktop" names
    bool planted;
  };
  const Row rows[] = {
      {"the desktop is a link", root + u"LinkedDesktop",
       testsupport::PlantLink(W(victim), W(root + u"LinkedDesktop"))},
      {"a folder above it is a link", root + u"Linked\\Desktop",
       testsupport::PlantLink(W(victim), W(root + u"Linked"))},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    ASSERT_TRUE(row.planted);
    Point(HKEY_CURRENT_USER, u"Desktop", row.desktop);
    CreateShortcut(target, u"", u"Drawlet", 0, u"");
    EXPECT_EQ(testsupport::Tree(W(victim)), std::vector<std::string>{"Desktop"});
  }
  // A link planted at the shortcut's own name is never written through.
  Point(HKEY_CURRENT_USER, u"Desktop", desktop);
  ASSERT_TRUE(testsupport::PlantLink(W(victimFile), W(desktop + u"\\Drawlet.lnk")));
  CreateShortcut(target, u"", u"Drawlet", 0, u"");
  EXPECT_EQ(testsupport::ReadAll(W(victimFile)), "the machine's own");
}
