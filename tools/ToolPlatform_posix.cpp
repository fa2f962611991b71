#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "common/Errors.h"
#include "common/Text.h"
#include "tools/ToolPlatform.h"

extern char** environ;

std::u16string ToolDataFolder() {
  std::string self(4096, '\0');
  const ssize_t n = readlink("/proc/self/exe", self.data(), self.size() - 1);
  if (n <= 0)
    return u"/usr/share/stp/";
  self.resize(static_cast<size_t>(n));
  const std::string bin = self.substr(0, self.find_last_of('/') + 1);
  return FromUtf8(bin + "../share/stp/");
}

std::u16string TypedPath(std::u16string path) {
  for (auto& c : path) {
    if (c == u'/')
      c = u'\\';
  }
  return path;
}

bool RunsAsRoot() {
  return geteuid() == 0;
}

int RunProgram(const std::u16string& program, const std::vector<std::u16string>& args,
               std::string& output) {
  std::vector<std::string> texts{ToUtf8(program)};
  for (const auto& a : args)
    texts.push_back(ToUtf8(a));
  std::vector<char*> argv;
  for (auto& t : texts)
    argv.push_back(t.data());
  argv.push_back(nullptr);
  int pipeFds[2];
  if (pipe2(pipeFds, O_CLOEXEC) != 0)
    throw Error(u"cannot run " + program + u": " + FromUtf8(std::strerror(errno)));
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, pipeFds[1], 1);
  posix_spawn_file_actions_adddup2(&actions, pipeFds[1], 2);
  pid_t pid = 0;
  const int err = posix_spawnp(&pid, texts[0].c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(pipeFds[1]);
  if (err != 0) {
    close(pipeFds[0]);
    throw Error(u"cannot run " + program + u": " + FromUtf8(std::strerror(err)));
  }
  char buffer[4096];
  for (;;) {
    const ssize_t n = read(pipeFds[0], buffer, sizeof buffer);
    if (n > 0)
      output.append(buffer, static_cast<size_t>(n));
    else if (n == 0 || errno != EINTR)
      break;
  }
  close(pipeFds[0]);
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  if (WIFEXITED(status))
    return WEXITSTATUS(status);
  return 128 + (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
}
