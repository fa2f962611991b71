// Where the tests find the setup programs that the build made, and small
// helpers shared by the wizard's and the installation's tests.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <string>

#include "app/ControlIds.h"
#include "app/WizardRules.h"
#include "testsupport/Processes.h"
#include "testsupport/Wait.h"
#include "testsupport/WineHost.h"
#include "testsupport/WizardDriver.h"

// SETUP_BIN_DIR is the build's app folder, as a Unix path.
inline std::wstring BuildPath(const std::string& unixPath) {
  std::wstring w = L"Z:";
  for (char c : unixPath)
    w += c == '/' ? L'\\' : static_cast<wchar_t>(static_cast<unsigned char>(c));
  return w;
}

inline std::wstring SetupProgram(const char* name) {
  return BuildPath(std::string(SETUP_BIN_DIR) + "/" + name + ".exe");
}

#ifdef SAMPLE_STAGE_DIR
// The staged sample product the package is made of.
inline std::wstring Stage() {
  return BuildPath(SAMPLE_STAGE_DIR);
}
#endif

// Starts a program and walks it to the folder page with this destination.
inline void ToFolderPage(WizardDriver& d, const char* program, const std::wstring& dest) {
  ASSERT_TRUE(d.Start(SetupProgram(program))) << program;
  ASSERT_NE(d.Wizard(), nullptr);
  d.Click(idBtnNext);
  d.Click(idBtnNext);
  ASSERT_TRUE(d.Shown(idPnlStep3));
  d.Type(idEditSetupDir, dest);
}

// Waits for the finish page; a message box instead fails the wait at once,
// naming its text.
inline testing::AssertionResult WaitFinishPage(WizardDriver& d) {
  for (int i = 0; i < 600 && d.Running(); ++i) {
    if (d.Shown(idPnlStep4) && d.Settle())
      return testing::AssertionSuccess();
    const std::wstring box = d.MessageBoxText(0);
    if (!box.empty()) {
      const int n = WideCharToMultiByte(CP_UTF8, 0, box.c_str(), -1, nullptr, 0, nullptr, nullptr);
      std::string text(static_cast<size_t>(n), '\0');
      WideCharToMultiByte(CP_UTF8, 0, box.c_str(), -1, text.data(), n, nullptr, nullptr);
      return testing::AssertionFailure() << "message box instead: " << text.c_str();
    }
    Sleep(100);
  }
  return testing::AssertionFailure() << "no finish page";
}

inline std::wstring Env(const wchar_t* name) {
  wchar_t buf[32768];
  const DWORD n = GetEnvironmentVariableW(name, buf, 32768);
  return n > 0 && n < 32768 ? std::wstring(buf, n) : std::wstring();
}

// Sets an environment variable for the programs started after it, and puts
// the old value back when it goes.
class ScopedEnv {
 public:
  ScopedEnv(const wchar_t* name, const wchar_t* value) : name_(name) {
    wchar_t buf[4096];
    const DWORD n = GetEnvironmentVariableW(name, buf, 4096);
    had_ = n > 0 && n < 4096;
    if (had_)
      old_.assign(buf, n);
    SetEnvironmentVariableW(name, value);
  }
  ~ScopedEnv() { SetEnvironmentVariableW(name_.c_str(), had_ ? old_.c_str() : nullptr); }
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  std::wstring name_, old_;
  bool had_ = false;
};

// The Windows version the programs started after it see.
class ScopedWindowsVersion {
 public:
  explicit ScopedWindowsVersion(const wchar_t* version) { SetWindowsVersion(version); }
  ~ScopedWindowsVersion() { SetWindowsVersion(L""); }
  ScopedWindowsVersion(const ScopedWindowsVersion&) = delete;
  ScopedWindowsVersion& operator=(const ScopedWindowsVersion&) = delete;
};

// The rules' settings and texts for a program, from its own string table.
struct ProgramTexts {
  TProductSettings settings;
  TWizardTexts texts;
};
inline ProgramTexts TextsOf(const std::wstring& exe) {
  const HMODULE m = LoadLibraryExW(exe.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  const auto strings = [m](int id) {
    const wchar_t* text = nullptr;
    const int n = LoadStringW(m, static_cast<UINT>(id), reinterpret_cast<wchar_t*>(&text), 0);
    return n > 0 ? std::u16string(reinterpret_cast<const char16_t*>(text), n) : std::u16string();
  };
  const int32_t language = ChooseLanguageIndex(strings(1007), GetACP());
  ProgramTexts t{LoadProductSettings(strings, language), {}};
  t.texts = MakeWizardTexts(language, t.settings);
  FreeLibrary(m);
  return t;
}

// Drive M:, a small file system of a known size that the host mounts in the
// test's Wine prefix; made before the wizard starts (it lists the fixed
// drives once), gone with this object.
class SmallDrive {
 public:
  // Whether the drive is there with bytes free; why not in why.
  bool Make(uint64_t bytes, std::string& why) {
    const std::wstring prefix = Env(L"WINEPREFIX");
    prefix_.assign(prefix.begin(), prefix.end());
    if (prefix_.empty()) {
      why = "needs Wine's drive folder to add a drive";
      return false;
    }
    if (!testsupport::MountSmallDisk(folder_, bytes, why))
      return false;
    mounted_ = true;
    const std::string target = testsupport::UnixPath(folder_.wstring());
    testsupport::RunHostProgram("/bin/ln", "-sfn " + target + " " + prefix_ + "/dosdevices/m:");
    if (!testsupport::WaitFor([] { return GetDriveTypeW(L"M:\\") == DRIVE_FIXED; })) {
      why = "Wine did not take " + prefix_ + "/dosdevices/m: as a fixed drive";
      return false;
    }
    // Wine lists the drives of its device map; the new one is named there too.
    DefineDosDeviceW(DDD_RAW_TARGET_PATH, L"M:", L"\\??\\C:\\");
    return true;
  }
  ~SmallDrive() {
    if (prefix_.empty())
      return;
    DefineDosDeviceW(DDD_RAW_TARGET_PATH | DDD_REMOVE_DEFINITION, L"M:", nullptr);
    testsupport::RunHostProgram("/bin/rm", "-f " + prefix_ + "/dosdevices/m:", [] {
      return GetDriveTypeW(L"M:\\") != DRIVE_FIXED;
    });
    if (mounted_)
      testsupport::UnmountSmallDisk(folder_);
  }

 private:
  std::filesystem::path folder_ = L"C:\\small-drive\\disk";
  std::string prefix_;
  bool mounted_ = false;
};
