// The one way the tests start another program and wait for it: a command
// line, the handles it inherits, a wait with a deadline and its exit code.
#pragma once

#include <windows.h>

#include <string>

namespace testsupport {

class Process {
 public:
  struct Options {
    // The program file; empty: the command line's first word names it.
    std::wstring program;
    // Its working folder; empty: this program's.
    std::wstring folder;
    // Whether it inherits the handles marked inheritable (and output, when set).
    bool inheritHandles = false;
    // Where its standard output and error go (inherited; implies inheritHandles).
    HANDLE output = nullptr;
    // Whether the handle to the new process may be inherited by later children.
    bool inheritableHandle = false;
  };

  Process() = default;
  // Closes the handles; a program still running goes on.
  ~Process();
  Process(const Process&) = delete;
  Process& operator=(const Process&) = delete;

  // Starts the command line; false (the system's code in Error()) when it
  // could not be started.
  bool Start(const std::wstring& commandLine, const Options& options);
  bool Start(const std::wstring& commandLine) { return Start(commandLine, Options{}); }
  // Waits at most ms for it to end; whether it ended.
  bool Wait(DWORD ms) const;
  bool Running() const { return Started() && !Wait(0); }
  // Ends it (with exit code 99) and waits for it; nothing when it has ended.
  void Kill();
  // Its exit code once ended; STILL_ACTIVE while it runs, -1 never started.
  DWORD ExitCode() const;

  bool Started() const { return pi_.hProcess != nullptr; }
  HANDLE Handle() const { return pi_.hProcess; }
  DWORD Id() const { return pi_.dwProcessId; }
  DWORD ThreadId() const { return pi_.dwThreadId; }
  DWORD Error() const { return error_; }

 private:
  void Close();
  PROCESS_INFORMATION pi_{};
  DWORD error_ = 0;
};

// Runs the command line and waits at most ms for it: its exit code; -1 when
// it could not be started, or did not end in time (it is ended then).
int RunProcess(const std::wstring& commandLine, DWORD ms = 60000,
               const Process::Options& options = {});

}  // namespace testsupport
