// Where the tests find the setup programs that the build made, and small
// helpers shared by the wizard's and the installation's tests.
#pragma once

#include <windows.h>

#include <string>

#include "app/ControlIds.h"
#include "app/tests/WizardDriver.h"

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
