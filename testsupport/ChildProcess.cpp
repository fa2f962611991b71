#include "testsupport/ChildProcess.h"

namespace testsupport {

Process::~Process() {
  Close();
}

void Process::Close() {
  if (pi_.hThread != nullptr)
    CloseHandle(pi_.hThread);
  if (pi_.hProcess != nullptr)
    CloseHandle(pi_.hProcess);
  pi_ = {};
}

bool Process::Start(const std::wstring& commandLine, const Options& options) {
  Close();
  std::wstring line = commandLine;  // CreateProcessW may write into it
  STARTUPINFOW si{};
  si.cb = sizeof si;
  const bool redirect = options.output != nullptr;
  if (redirect) {
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    si.hStdOutput = options.output;
    si.hStdError = options.output;
  }
  SECURITY_ATTRIBUTES inheritable{sizeof inheritable, nullptr, TRUE};
  if (!CreateProcessW(options.program.empty() ? nullptr : options.program.c_str(), line.data(),
                      options.inheritableHandle ? &inheritable : nullptr, nullptr,
                      options.inheritHandles || redirect, 0, nullptr,
                      options.folder.empty() ? nullptr : options.folder.c_str(), &si, &pi_)) {
    error_ = GetLastError();
    pi_ = {};
    return false;
  }
  error_ = 0;
  return true;
}

bool Process::Wait(DWORD ms) const {
  return Started() && WaitForSingleObject(pi_.hProcess, ms) == WAIT_OBJECT_0;
}

void Process::Kill() {
  if (!Running())
    return;
  TerminateProcess(pi_.hProcess, 99);
  Wait(10000);
}

DWORD Process::ExitCode() const {
  DWORD code = static_cast<DWORD>(-1);
  if (Started())
    GetExitCodeProcess(pi_.hProcess, &code);
  return code;
}

int RunProcess(const std::wstring& commandLine, DWORD ms, const Process::Options& options) {
  Process p;
  if (!p.Start(commandLine, options))
    return -1;
  if (!p.Wait(ms)) {
    p.Kill();
    return -1;
  }
  return static_cast<int>(p.ExitCode());
}

}  // namespace testsupport
