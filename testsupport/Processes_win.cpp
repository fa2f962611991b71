#include <windows.h>

#include <cstdlib>
#include <filesystem>

#include "testsupport/Processes.h"
#include "testsupport/WineHost.h"

namespace fs = std::filesystem;

namespace testsupport {

int RunSelfWith(const std::string& name, const std::string& value) {
  wchar_t self[MAX_PATH];
  if (GetModuleFileNameW(nullptr, self, MAX_PATH) == 0)
    return -1;
  SetEnvironmentVariableA(name.c_str(), value.c_str());
  std::wstring cmd = L"\"" + std::wstring(self) + L"\" --gtest_list_tests";
  STARTUPINFOW si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  const BOOL started =
      CreateProcessW(self, cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi);
  SetEnvironmentVariableA(name.c_str(), nullptr);
  if (!started)
    return -1;
  DWORD code = static_cast<DWORD>(-1);
  if (WaitForSingleObject(pi.hProcess, 60000) != WAIT_OBJECT_0 ||
      !GetExitCodeProcess(pi.hProcess, &code)) {
    TerminateProcess(pi.hProcess, 1);
    code = static_cast<DWORD>(-1);
  }
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  return static_cast<int>(code);
}

bool MountSmallDisk(const fs::path& folder, uint64_t bytes, std::string& why) {
  if (!UnderWine()) {
    why = "a small disk is made only under Wine, on the host's file systems";
    return false;
  }
  std::error_code ec;
  fs::create_directories(folder, ec);
  const std::string unix = UnixPath(folder.wstring());
  const auto small = [&] {
    const fs::space_info space = fs::space(folder, ec);
    return !ec && space.capacity <= bytes;
  };
  if (unix.empty() ||
      !RunHostProgram("/bin/mount",
                      "-t tmpfs -o size=" + std::to_string(bytes) + " setupkit-test " + unix,
                      small)) {
    why = "cannot mount a small file system at " + unix + " through the host's mount (it needs root)";
    return false;
  }
  return true;
}

void UnmountSmallDisk(const fs::path& folder) {
  const std::string unix = UnixPath(folder.wstring());
  std::error_code ec;
  if (!unix.empty())
    RunHostProgram("/bin/umount", unix, [&] { return fs::space(folder, ec).capacity > (1u << 30); });
}

}  // namespace testsupport
