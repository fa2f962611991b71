// Drives, free space, the system directory and starting programs.
#include <string>

#include "common/ByteSize.h"
#include "common/Path.h"
#include "shell/Global.h"
#include "shell/tests/ShellFixture.h"
#include "testsupport/Wait.h"
#include "testsupport/WindowReader.h"

TEST(Drives, FixedDrivesAreThoseWindowsCallsFixed) {
  std::u16string expected;
  wchar_t roots[256] = {};
  GetLogicalDriveStringsW(255, roots);
  for (const wchar_t* r = roots; *r; r += wcslen(r) + 1) {
    if (GetDriveTypeW(r) == DRIVE_FIXED)
      expected += static_cast<char16_t>(towupper(r[0]));
  }
  const std::u16string fixed = GetFixedDrives();
  EXPECT_EQ(fixed, expected);
  EXPECT_NE(fixed.find(u'C'), std::u16string::npos);
}

TEST(Drives, FreeSpaceOfBothCasesAndOfNoDrive) {
  const int64_t upper = DriveFreeSpace(u'C');
  const int64_t lower = DriveFreeSpace(u'c');
  EXPECT_GT(upper, 0);
  EXPECT_NEAR(static_cast<double>(upper), static_cast<double>(lower), 64.0 * 1024 * 1024);
  const DWORD mask = GetLogicalDrives();
  for (int i = 25; i >= 0; --i) {
    if (!((mask >> i) & 1)) {
      EXPECT_EQ(DriveFreeSpace(static_cast<char16_t>(u'A' + i)), -1) << char('A' + i);
      EXPECT_EQ(FormatByteSize(DriveFreeSpace(static_cast<char16_t>(u'A' + i))), u"-1 Bytes");
      break;
    }
  }
  EXPECT_EQ(DriveFreeSpace(u'1'), -1);
}

TEST(Drives, SystemDirectoryEndsInABackslash) {
  const std::u16string dir = GetSystemDir();
  ASSERT_GE(dir.size(), 4u);
  EXPECT_EQ(dir.back(), u'\\');
  EXPECT_NE(dir.substr(0, dir.size() - 1).back(), u'\\');
  const DWORD a = GetFileAttributesW(W(dir));
  EXPECT_TRUE(a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY));
}

TEST(Launch, RunProgramStartsAProgramAndReturnsItsProcess) {
  wchar_t self[MAX_PATH];
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  const std::u16string child = ExtractFileDir(UpToNul(self, MAX_PATH)) + u"" SHELL_TEST_CHILD;
  const std::u16string folder = ScratchFolder(u"run");
  const std::u16string marker = folder + u"marker.txt";
  HANDLE process = RunProgram(child, u"\"" + marker + u"\" hello");
  ASSERT_NE(process, nullptr);
  EXPECT_EQ(WaitForSingleObject(process, 20000), WAIT_OBJECT_0);
  DWORD code = 99;
  GetExitCodeProcess(process, &code);
  CloseHandle(process);
  EXPECT_EQ(code, 0u);
  EXPECT_TRUE(IsFile(marker));
  DeleteFileW(W(marker));
  RemoveDirectoryW(W(folder));
}

// Setup runs elevated; the product it starts at the end must not. Wine runs
// no elevation to lose, so the call made is checked: the program starts, in
// the folder given rather than in Setup's own current folder.
TEST(Launch, StartAsUserStartsTheProgramInItsFolder) {
  wchar_t self[MAX_PATH];
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  const std::u16string child = ExtractFileDir(UpToNul(self, MAX_PATH)) + u"" SHELL_TEST_CHILD;
  const std::u16string folder = ScratchFolder(u"start");
  const TStarted how = StartAsUser(child, folder);
  ASSERT_NE(how, TStarted::kNot);
  RecordProperty("started", how == TStarted::kByUserShell ? "by the user's shell" : "directly");
  EXPECT_TRUE(testsupport::WaitFor([&] { return IsFile(folder + u"ran.txt"); }));
  EXPECT_TRUE(testsupport::WaitFor([&] { return DeleteFileW(W(folder + u"ran.txt")) != 0; }));
  RemoveDirectoryW(W(folder));
}

TEST(Launch, AMissingProgramGivesNoHandleAndNoWindow) {
  EXPECT_EQ(RunProgram(u"C:\\no\\such\\program.exe", u""), nullptr);
  // Nothing was shown: no top-level window of this process exists.
  EXPECT_EQ(testsupport::FindTopLevel({GetCurrentProcessId(), L"", nullptr, true}), nullptr);
}
