// Waiting for what another process does: the condition itself is asked
// again until it holds or a deadline passes, never a fixed pause that passes
// or fails with the machine's load.
#pragma once

#include <functional>
#include <string>

namespace testsupport {

// Asks condition every 20 ms until it holds, at most ms milliseconds (and
// once more at the end); whether it held.
bool WaitFor(const std::function<bool()>& condition, unsigned ms = 20000);

// Whether a process runs whose program file has this name ("Drawlet.exe").
bool ProcessRunning(const std::wstring& exeName);

// Whether a file may be opened to be written and removed: no running program
// has it as its image, and nobody holds it open without sharing.
bool Released(const std::wstring& path);

}  // namespace testsupport
