#include <windows.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

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

// The Unix user this runs as ("0" for root), from the host's own record of
// this process; empty when it cannot be read.
std::string UnixUser() {
  std::ifstream status(fs::path(HostPath("/proc/self/status")));
  std::string line;
  while (std::getline(status, line)) {
    std::string uid;
    if (line.rfind("Uid:", 0) == 0 && std::istringstream(line.substr(4)) >> uid)
      return uid;
  }
  return "";
}

}  // namespace

int RunSelfWith(const std::string& name, const std::string& value, unsigned ms) {
  wchar_t self[MAX_PATH];
  if (GetModuleFileNameW(nullptr, self, MAX_PATH) == 0)
    return -1;
  SetEnvironmentVariableA(name.c_str(), value.c_str());
  Process::Options options;
  options.program = self;
  const int code = RunProcess(L"\"" + std::wstring(self) + L"\" --gtest_list_tests", ms, options);
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
  if (unix.empty()) {
    why = "no Unix path for " + folder.string();
    return false;
  }
  const std::string user = UnixUser();
  if (user != "0") {
    why =
        "cannot mount a small file system: the host's mount needs root, and this runs as Unix "
        "user " +
        (user.empty() ? std::string("unknown") : user);
    return false;
  }
  // An emulated test bed starts a host program slowly: a minute, not seconds.
  if (!RunHostProgram("/bin/mount",
                      "-t tmpfs -o size=" + std::to_string(bytes) + " setupkit-test " + unix, small,
                      60000)) {
    why = "the host's mount, run as root, made no file system at " + unix + " within a minute";
    UnmountSmallDisk(folder);
    return false;
  }
  return true;
}

void UnmountSmallDisk(const fs::path& folder) {
  const std::string unix = UnixPath(folder.wstring());
  if (!unix.empty())
    RunHostProgram(
        "/bin/umount", unix, [&] { return !Mounted(folder); }, 60000);
}

}  // namespace testsupport
