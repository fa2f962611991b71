// The start-up hardening. DLLs planted beside a program under the names of
// the system DLLs that the system loads by name later must never be loaded;
// a child program started from such a folder shows what it would load.
#include <string>
#include <vector>

#include "common/Path.h"
#include "shell/Hardening.h"
#include "shell/tests/ShellFixture.h"
#include "testsupport/ChildProcess.h"
#include "win/Api.h"

namespace {

std::u16string OwnFolder() {
  wchar_t path[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, path, MAX_PATH);
  return ExtractFileDir(UpToNul(path, MAX_PATH));
}

std::u16string SystemFolder() {
  wchar_t path[MAX_PATH] = {};
  const UINT n = GetSystemDirectoryW(path, MAX_PATH);
  return UpToNul(path, n) + u"\\";
}

std::string ReadText(const std::u16string& path) {
  std::string text;
  const HANDLE f = CreateFileW(W(path), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
  if (f == INVALID_HANDLE_VALUE)
    return text;
  char buffer[4096];
  DWORD got = 0;
  while (ReadFile(f, buffer, sizeof buffer, &got, nullptr) && got > 0)
    text.append(buffer, got);
  CloseHandle(f);
  return text;
}

// Whether the running system takes a DLL of this name from its own folder
// whatever lies beside a program (its "known DLLs"; setupapi and clbcatq are
// on current Windows, Wine keeps no such list).
bool IsKnownDll(const std::u16string& name) {
  RegKey key;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE,
                    L"SYSTEM\\CurrentControlSet\\Control\\Session Manager\\KnownDLLs", 0,
                    KEY_QUERY_VALUE, key.Out()) != ERROR_SUCCESS) {
    return false;
  }
  for (DWORD i = 0;; ++i) {
    wchar_t value[256] = {};
    wchar_t data[256] = {};
    DWORD valueSize = 256, dataSize = sizeof data - sizeof(wchar_t), type = 0;
    const LSTATUS s = RegEnumValueW(key.get(), i, value, &valueSize, nullptr, &type,
                                    reinterpret_cast<BYTE*>(data), &dataSize);
    if (s == ERROR_NO_MORE_ITEMS)
      return false;
    if (s == ERROR_SUCCESS && type == REG_SZ && lstrcmpiW(data, W(name)) == 0)
      return true;
  }
}

// Runs the child from the planted folder; its exit code, or -1.
int RunChild(const std::u16string& exe, const std::u16string& args) {
  testsupport::Process::Options options;
  options.program = W(exe);
  return testsupport::RunProcess(W(u"\"" + exe + u"\" " + args), 60000, options);
}

class PlantedDlls : public testing::Test {
 protected:
  void SetUp() override {
    folder_ = ScratchFolder(u"planted");
    child_ = folder_ + u"hardening_test_child.exe";
    ASSERT_TRUE(CopyFileW(W(OwnFolder() + u"hardening_test_child.exe"), W(child_), FALSE));
    const std::u16string planted = OwnFolder() + u"hardening_test_planted.dll";
    std::u16string overrides;
    for (const wchar_t* dll : kPreloadedDlls) {
      const std::u16string name = U(dll);
      // Only the system's own DLLs are preloaded; one it lacks cannot be
      // asked for by the system either.
      if (!IsFile(SystemFolder() + name))
        continue;
      names_.push_back(name);
      ASSERT_TRUE(CopyFileW(W(planted), W(folder_ + name), FALSE)) << ToUtf8(name);
      overrides += (overrides.empty() ? u"" : u",") + name.substr(0, name.size() - 4);
    }
    ASSERT_FALSE(names_.empty());
    marker_ = folder_ + u"planted-loaded.txt";
    SetEnvironmentVariableW(L"HARDENING_TEST_PLANTED", W(marker_));
    // Wine prefers its own copy of a system DLL to one found beside the
    // program; Windows takes the one it finds first. The child is told to
    // behave like Windows here.
    wchar_t old[4096] = {};
    const DWORD n = GetEnvironmentVariableW(L"WINEDLLOVERRIDES", old, 4096);
    oldOverrides_ = n > 0 && n < 4096 ? UpToNul(old, n) : u"";
    const std::u16string all =
        (oldOverrides_.empty() ? u"" : oldOverrides_ + u";") + overrides + u"=n,b";
    SetEnvironmentVariableW(L"WINEDLLOVERRIDES", W(all));
  }
  void TearDown() override {
    SetEnvironmentVariableW(L"HARDENING_TEST_PLANTED", nullptr);
    SetEnvironmentVariableW(L"WINEDLLOVERRIDES",
                            oldOverrides_.empty() ? nullptr : W(oldOverrides_));
  }

  // Runs the child in a mode; the lines it wrote ("name=path").
  std::vector<std::string> Run(const char16_t* mode) {
    DeleteFileW(W(marker_));
    const std::u16string results = folder_ + u"results-" + mode + u".txt";
    std::u16string args = std::u16string(mode) + u" \"" + results + u"\"";
    for (const auto& n : names_)
      args += u" " + n;
    EXPECT_EQ(RunChild(child_, args), 0) << ToUtf8(mode);
    std::vector<std::string> lines;
    const std::string text = ReadText(results);
    size_t at = 0;
    for (size_t end; (end = text.find('\n', at)) != std::string::npos; at = end + 1)
      lines.push_back(text.substr(at, end - at));
    return lines;
  }

  void ExpectAllFromTheSystem(const std::vector<std::string>& lines) {
    ASSERT_EQ(lines.size(), names_.size());
    const std::string system = ToUtf8(SystemFolder());
    for (size_t i = 0; i < lines.size(); ++i) {
      const std::string expected = ToUtf8(names_[i]) + "=" + system + ToUtf8(names_[i]);
      EXPECT_EQ(lstrcmpiA(lines[i].c_str(), expected.c_str()), 0) << lines[i];
    }
    EXPECT_EQ(ReadText(marker_), "") << "a planted DLL was loaded";
  }

  std::u16string folder_, child_, marker_, oldOverrides_;
  std::vector<std::u16string> names_;
};

}  // namespace

TEST_F(PlantedDlls, AreLoadedByAnUnhardenedProgram) {
  // The attack itself: without hardening the planted copies are what a later
  // load by name gets. (If this fails, the system under test cannot show the
  // attack, and the cases below prove nothing.)
  const std::vector<std::string> lines = Run(u"none");
  ASSERT_EQ(lines.size(), names_.size());
  for (size_t i = 0; i < lines.size(); ++i) {
    if (IsKnownDll(names_[i]))
      continue;
    const std::string planted = ToUtf8(names_[i]) + "=" + ToUtf8(folder_ + names_[i]);
    EXPECT_EQ(lstrcmpiA(lines[i].c_str(), planted.c_str()), 0) << lines[i];
  }
  EXPECT_NE(ReadText(marker_), "");
}

TEST_F(PlantedDlls, AreNeverLoadedWithoutSetDefaultDllDirectories) {
  // As on Windows XP, Vista or an unpatched 7: only the preloading by full
  // path stands between the program and the planted copies.
  ExpectAllFromTheSystem(Run(u"legacy"));
}

TEST_F(PlantedDlls, AreNeverLoadedByAHardenedProgram) {
  ExpectAllFromTheSystem(Run(u"default"));
}

TEST(Hardening, DefaultDllDirectoriesAreLeftAloneOnVista) {
  EXPECT_TRUE(MayRestrictDllDirectories(5, 1));
  EXPECT_FALSE(MayRestrictDllDirectories(6, 0));
  EXPECT_TRUE(MayRestrictDllDirectories(6, 1));
  EXPECT_TRUE(MayRestrictDllDirectories(6, 2));
  EXPECT_TRUE(MayRestrictDllDirectories(10, 0));
}

namespace {

struct TPolicyCall {
  int calls = 0;
  int policy = -1;
  SIZE_T length = 0;
  DWORD flags = 0;
  BOOL result = TRUE;
} policyCall;

BOOL WINAPI RecordPolicy(int policy, void* buffer, SIZE_T length) {
  ++policyCall.calls;
  policyCall.policy = policy;
  policyCall.length = length;
  if (length == sizeof(DWORD))
    policyCall.flags = *static_cast<DWORD*>(buffer);
  return policyCall.result;
}

}  // namespace

TEST(Hardening, RedirectionTrustIsEnforcedWhereTheSystemOffersIt) {
  // Wine accepts the call and does nothing, and cannot tell a junction an
  // administrator made from another, so what is checked is the call made.
  policyCall = {};
  EXPECT_TRUE(EnableRedirectionTrust(RecordPolicy));
  EXPECT_EQ(policyCall.calls, 1);
  EXPECT_EQ(policyCall.policy, 16);  // ProcessRedirectionTrustPolicy
  EXPECT_EQ(policyCall.length, sizeof(DWORD));
  EXPECT_EQ(policyCall.flags, 1u);  // enforced, not only audited
  // A system that knows the call but not the policy refuses it; the program
  // runs on.
  policyCall = {};
  policyCall.result = FALSE;
  EXPECT_FALSE(EnableRedirectionTrust(RecordPolicy));
  EXPECT_EQ(policyCall.calls, 1);
  // A system without the call.
  EXPECT_FALSE(EnableRedirectionTrust(nullptr));
}

TEST(Hardening, SystemFunctionsComeFromTheSystemDirectory) {
  // comctl32 is no known DLL: it is loaded by its full path.
  EXPECT_NE(win::Api<win::Fn::InitCommonControlsEx>(), nullptr);
  wchar_t path[MAX_PATH] = {};
  GetModuleFileNameW(GetModuleHandleW(L"comctl32.dll"), path, MAX_PATH);
  EXPECT_EQ(lstrcmpiW(path, W(SystemFolder() + u"comctl32.dll")), 0);
  EXPECT_EQ(win::LoadSystemDll(L"no-such-library.dll"), nullptr);
}
