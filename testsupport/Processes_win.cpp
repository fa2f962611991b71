#include <windows.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "testsupport/ChildProcess.h"
#include "testsupport/Processes.h"
#include "testsupport/WineHost.h"

namespace fs = std::filesystem;

namespace testsupport {

namespace {

// The host lists a mount by its path with links resolved (the prefix's
// drive letters are links): its last two names tell it.
bool Mounted(const fs::path& folder) {
  std::ifstream mounts(fs::path(HostPath("/proc/mounts")));
  const std::string tail =
      "/" + folder.parent_path().filename().string() + "/" + folder.filename().string() + " ";
  std::string line;
  while (std::getline(mounts, line)) {
    if (line.rfind("setupkit-test ", 0) == 0 && line.find(tail) != std::string::npos)
      return true;
  }
  return false;
}

}  // namespace

int RunSelfWith(const std::string& name, const std::string& value) {
  wchar_t self[MAX_PATH];
  if (GetModuleFileNameW(nullptr, self, MAX_PATH) == 0)
    return -1;
  SetEnvironmentVariableA(name.c_str(), value.c_str());
  Process::Options options;
  options.program = self;
  const int code =
      RunProcess(L"\"" + std::wstring(self) + L"\" --gtest_list_tests", 60000, options);
  SetEnvironmentVariableA(name.c_str(), nullptr);
  return code;
}

bool MountSmallDisk(const fs::path& folder, uint64_t bytes, std::string& why) {
  if (!UnderWine()) {
    why = "a small disk is made only under Wine, on the host's file systems";
    return false;
  }
  std::error_code ec;
  fs::create_directories(folder, ec);
  const std::string unix = UnixPath(folder.wstring());
  // Wine tells the size of the drive, not of a file system mounted in it:
  // the host's table of mounts tells whether it is there.
  const auto small = [&] { return Mounted(folder); };
  if (unix.empty() ||
      !RunHostProgram("/bin/mount",
                      "-t tmpfs -o size=" + std::to_string(bytes) + " setupkit-test " + unix,
                      small)) {
    why =
        "cannot mount a small file system at " + unix + " through the host's mount (it needs root)";
    UnmountSmallDisk(folder);
    return false;
  }
  return true;
}

void UnmountSmallDisk(const fs::path& folder) {
  const std::string unix = UnixPath(folder.wstring());
  if (!unix.empty())
    RunHostProgram("/bin/umount", unix, [&] { return !Mounted(folder); });
}

}  // namespace testsupport
