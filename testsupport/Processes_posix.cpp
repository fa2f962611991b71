#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "testsupport/Processes.h"

namespace fs = std::filesystem;

namespace testsupport {

int RunSelfWith(const std::string& name, const std::string& value) {
  const pid_t child = fork();
  if (child == -1)
    return -1;
  if (child == 0) {
    setenv(name.c_str(), value.c_str(), 1);
    execl("/proc/self/exe", "child", "--gtest_list_tests", static_cast<char*>(nullptr));
    _exit(127);
  }
  int status = 0;
  if (waitpid(child, &status, 0) != child)
    return -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

bool MountSmallDisk(const fs::path& folder, uint64_t bytes, std::string& why) {
  std::error_code ec;
  fs::create_directories(folder, ec);
  const std::string command = "mount -t tmpfs -o size=" + std::to_string(bytes) +
                              " setupkit-test '" + folder.string() + "' 2>&1";
  if (std::system(command.c_str()) != 0) {
    why = "cannot mount a small file system (" + command + " failed; it needs root)";
    return false;
  }
  return true;
}

void UnmountSmallDisk(const fs::path& folder) {
  std::system(("umount '" + folder.string() + "' 2>/dev/null").c_str());
}

}  // namespace testsupport
