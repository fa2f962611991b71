// Installations that a running product or a planted link would turn: through
// the real wizard window, and through stp extract.
#include <aclapi.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/tests/SetupPrograms.h"
#include "testsupport/Files.h"
#include "testsupport/Links.h"
#include "testsupport/Wait.h"
#include "testsupport/WinFiles.h"
#include "testsupport/WineHost.h"

using testsupport::Exists;
using testsupport::FileId;
using testsupport::ReadAll;
using testsupport::Released;
using testsupport::WaitFor;
using testsupport::WriteAll;

using testsupport::EveryoneRights;
using testsupport::MakeOpenFolder;

namespace {

// Every name under dir that is some file's second copy or a temporary file.
std::vector<std::wstring> Leftovers(const std::wstring& dir) {
  std::vector<std::wstring> out;
  testsupport::WalkTree(dir, [&](const testsupport::TreeEntry& e) {
    if (!e.folder && e.name.find(L".stp-") != std::wstring::npos)
      out.push_back(e.path);
  });
  return out;
}

// The installed product, started from the destination as a user would; it
// counts as running once its window shows and its program file is held as
// its image.
struct RunningProduct {
  testsupport::Process process;
  std::wstring exe;

  bool Start(const std::wstring& dest) {
    exe = dest + L"Drawlet.exe";
    testsupport::Process::Options options;
    options.folder = dest;
    if (!process.Start(L"\"" + exe + L"\"", options))
      return false;
    return WaitFor(
        [&] { return FindWindowByCaption(L"Norvane Drawlet 3.50") != nullptr && !Released(exe); });
  }
  // Ends it, and waits until the system has let go of its program file.
  void End() {
    if (!process.Running())
      return;
    process.Kill();
    EXPECT_TRUE(WaitFor([&] { return Released(exe); })) << "the program file is still held";
  }
};

// Runs stp.exe with the arguments; its exit code, what it wrote to standard
// error in err.
DWORD RunStp(const std::wstring& args, std::string& err) {
  const std::wstring errFile = L"C:\\stp-stderr.txt";
  SECURITY_ATTRIBUTES sa{sizeof sa, nullptr, TRUE};
  testsupport::Process::Options options;
  options.output =
      CreateFileW(errFile.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &sa, CREATE_ALWAYS, 0, nullptr);
  const auto code = static_cast<DWORD>(
      testsupport::RunProcess(L"\"" + BuildPath(STP_EXE) + L"\" " + args, 60000, options));
  CloseHandle(options.output);
  err = ReadAll(errFile);
  return code;
}

const wchar_t kExtractFailed[] = L"An error occurred extracting files to the destination folder.";

class GuardedInstall : public testing::Test {
 protected:
  void ToFolderPage(WizardDriver& d, const std::wstring& dest, const char* program = "SetupEn") {
    ::ToFolderPage(d, program, dest);
  }

  void Install(const std::wstring& dest) {
    WizardDriver d;
    ToFolderPage(d, dest);
    d.ClickNoWait(idBtnNext);
    ASSERT_TRUE(WaitFinishPage(d));
    d.SetCheck(idChkRunOnExit, false);
    d.ClickNoWait(idBtnNext);
    ASSERT_TRUE(d.WaitExit());
  }

  RunningProduct product;
  void TearDown() override { product.End(); }
};

}  // namespace

TEST_F(GuardedInstall, ReinstallingOverTheRunningProductAsksToCloseItAndLeavesItWhole) {
  const std::wstring dest = L"C:\\Running\\";
  const std::wstring exe = dest + L"Drawlet.exe";
  Install(dest);
  ASSERT_TRUE(product.Start(dest));
  const uint64_t running = FileId(exe);
  ASSERT_NE(running, 0u);

  WizardDriver d;
  ToFolderPage(d, dest);
  d.ClickNoWait(idBtnNext);
  EXPECT_NE(d.MessageBoxText().find(kExtractFailed), std::wstring::npos);
  d.AnswerMessageBox();
  EXPECT_TRUE(d.Shown(idPnlStep3));
  EXPECT_TRUE(d.Enabled(idBtnNext));
  // The running file is the same file with the same bytes, and no second
  // copy or temporary file stays (the package file of a failed run does).
  EXPECT_EQ(FileId(exe), running);
  EXPECT_TRUE(ReadAll(exe) == ReadAll(Stage() + L"\\Drawlet.exe"));
  EXPECT_EQ(Leftovers(dest), std::vector<std::wstring>{});
  EXPECT_TRUE(Exists(dest + L"Setup.stp"));

  // Closed: Install again succeeds.
  product.End();
  d.ClickNoWait(idBtnNext);
  ASSERT_TRUE(WaitFinishPage(d));
  EXPECT_TRUE(ReadAll(exe) == ReadAll(Stage() + L"\\Drawlet.exe"));
  EXPECT_EQ(Leftovers(dest), std::vector<std::wstring>{});
  EXPECT_FALSE(Exists(dest + L"Setup.stp"));
}

TEST_F(GuardedInstall, StpExtractOverTheRunningProductFailsAndLeavesItWhole) {
  const std::wstring dest = L"C:\\StpRunning\\";
  const std::wstring package = BuildPath(SAMPLE_PACKAGE_FILE);
  std::string err;
  ASSERT_EQ(RunStp(L"extract \"" + package + L"\" " + dest, err), 0u) << err;
  const std::wstring exe = dest + L"Drawlet.exe";
  ASSERT_TRUE(product.Start(dest));
  const uint64_t running = FileId(exe);

  EXPECT_EQ(RunStp(L"extract \"" + package + L"\" " + dest, err), 1u) << err;
  EXPECT_NE(err.find("Drawlet.exe"), std::string::npos) << err;
  EXPECT_EQ(FileId(exe), running);
  EXPECT_TRUE(ReadAll(exe) == ReadAll(Stage() + L"\\Drawlet.exe"));
  EXPECT_EQ(Leftovers(dest), std::vector<std::wstring>{});

  product.End();
  EXPECT_EQ(RunStp(L"extract \"" + package + L"\" " + dest, err), 0u) << err;
  EXPECT_EQ(Leftovers(dest), std::vector<std::wstring>{});
}

TEST_F(GuardedInstall, ALinkPlantedAsThePackageFileIsReplacedNotFollowed) {
  const std::wstring dest = L"C:\\Planted\\";
  CreateDirectoryW(dest.c_str(), nullptr);
  WriteAll(L"C:\\victim.txt", "a file of the machine's");
  ASSERT_TRUE(testsupport::PlantLink(L"C:\\victim.txt", dest + L"Setup.stp"));
  ASSERT_EQ(ReadAll(dest + L"Setup.stp"), "a file of the machine's");
  Install(dest);
  EXPECT_TRUE(ReadAll(L"C:\\victim.txt") == "a file of the machine's");
  EXPECT_TRUE(ReadAll(dest + L"Drawlet.exe") == ReadAll(Stage() + L"\\Drawlet.exe"));
  EXPECT_FALSE(Exists(dest + L"Setup.stp"));
  EXPECT_EQ(Leftovers(dest), std::vector<std::wstring>{});
}

TEST_F(GuardedInstall, AHostilePackageIsRefusedBeforeAnythingIsWritten) {
  // Its first row is the ordinary "!first.txt", its second row's folder
  // "$System$..\": the Windows folder.
  wchar_t buf[MAX_PATH] = {};
  GetWindowsDirectoryW(buf, MAX_PATH);
  const std::wstring windows = std::wstring(buf) + L"\\";
  const std::wstring dest = L"C:\\Hostile\\";
  WizardDriver d;
  ToFolderPage(d, dest, "SetupHostile");
  d.ClickNoWait(idBtnNext);
  EXPECT_NE(d.MessageBoxText().find(kExtractFailed), std::wstring::npos);
  d.AnswerMessageBox();
  EXPECT_TRUE(d.Shown(idPnlStep3));
  EXPECT_FALSE(Exists(windows + L"NvHostile.ini"));
  EXPECT_FALSE(Exists(dest + L"!first.txt"));
  // Nor was the ordinary row written aside to be undone: no progress at all.
  EXPECT_EQ(d.Progress(idProgressBar1), 0);
  EXPECT_EQ(Leftovers(dest), std::vector<std::wstring>{});
}

TEST_F(GuardedInstall, AFolderOthersMayChangeIsNamedBeforeAnythingIsWritten) {
  ASSERT_TRUE(MakeOpenFolder(L"C:\\Open"));
  ASSERT_EQ(EveryoneRights(L"C:\\Open"), 0x1301ffu);
  WizardDriver d;
  ToFolderPage(d, L"C:\\Open\\Drawlet");
  d.ClickNoWait(idBtnNext);
  const std::wstring text = d.MessageBoxText();
  EXPECT_NE(text.find(L"C:\\Open:"), std::wstring::npos) << text;
  EXPECT_NE(text.find(L"Program Files"), std::wstring::npos) << text;
  d.AnswerMessageBox(IDNO);
  EXPECT_TRUE(d.Shown(idPnlStep3));
  EXPECT_FALSE(Exists(L"C:\\Open\\Drawlet"));
  // Going on knowingly: the folder Setup.exe makes there has the protected
  // descriptor, which under Wine leaves Everyone nothing.
  d.ClickNoWait(idBtnNext);
  EXPECT_FALSE(d.MessageBoxText().empty());
  d.AnswerMessageBox(IDYES);
  ASSERT_TRUE(WaitFinishPage(d));
  EXPECT_TRUE(Exists(L"C:\\Open\\Drawlet\\Drawlet.exe"));
  EXPECT_EQ(EveryoneRights(L"C:\\Open\\Drawlet"), 0u);
}

// A user may plant a link where an administrator's log will go (a public
// folder): the log replaces the link itself and never writes through it.
TEST_F(GuardedInstall, ALinkPlantedAsTheLogIsReplacedNotFollowed) {
  CreateDirectoryW(L"C:\\Logs", nullptr);
  WriteAll(L"C:\\victim.txt", "a file of the machine's");
  ASSERT_TRUE(testsupport::PlantLink(L"C:\\victim.txt", L"C:\\Logs\\planted.log"));
  WizardDriver d;
  d.Start(SetupProgram("SetupEn"), L"/S /Q /LOG=C:\\Logs\\planted.log");
  ASSERT_TRUE(d.WaitExit());
  EXPECT_EQ(d.ExitCode(), 1639u);
  EXPECT_TRUE(ReadAll(L"C:\\victim.txt") == "a file of the machine's");
  EXPECT_FALSE(testsupport::IsLinkHere(L"C:\\Logs\\planted.log"));
  EXPECT_NE(ReadAll(L"C:\\Logs\\planted.log").find("Refused"), std::string::npos);
}

TEST_F(GuardedInstall, ALinkAsTheDestinationIsNamed) {
  CreateDirectoryW(L"C:\\Elsewhere", nullptr);
  ASSERT_TRUE(testsupport::PlantLink(L"C:\\Elsewhere", L"C:\\LinkedDest"));
  WizardDriver d;
  ToFolderPage(d, L"C:\\LinkedDest");
  d.ClickNoWait(idBtnNext);
  const std::wstring text = d.MessageBoxText();
  EXPECT_EQ(text.rfind(L"C:\\LinkedDest is a link", 0), 0u) << text;
  d.AnswerMessageBox();
  EXPECT_TRUE(d.Shown(idPnlStep3));
  EXPECT_FALSE(Exists(L"C:\\Elsewhere\\Drawlet.exe"));
  testsupport::RemoveLink(L"C:\\LinkedDest");
}
