#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <thread>

#include "testsupport/Processes.h"

namespace fs = std::filesystem;

namespace testsupport {

int RunSelfWith(const std::string& name, const std::string& value, unsigned ms) {
  const pid_t child = fork();
  if (child == -1)
    return -1;
  if (child == 0) {
    setenv(name.c_str(), value.c_str(), 1);
    execl("/proc/self/exe", "child", "--gtest_list_tests", static_cast<char*>(nullptr));
    _exit(127);
  }
  // At most ms, as promised: a child that hangs is ended, not waited for
  // until CTest's own timeout ends the whole program.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  int status = 0;
  pid_t ended = 0;
  while ((ended = waitpid(child, &status, WNOHANG)) == 0 &&
         std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  if (ended == 0) {
    kill(child, SIGKILL);
    waitpid(child, &status, 0);
    return -1;
  }
  if (ended != child)
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
