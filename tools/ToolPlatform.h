// What stp needs of the system it runs on: where its installed files are,
// and running another program (the signing tool).
#pragma once

#include <string>
#include <vector>

// The folder holding the files installed with stp (the stub, the
// uninstaller), ending in a separator: <prefix>/share/stp/ for <prefix>/bin/stp,
// the program's own folder on Windows.
std::u16string ToolDataFolder();

// A path as the user typed it, spelled as this system's paths are: off
// Windows each "/" read as "\", on Windows as typed.
std::u16string TypedPath(std::u16string path);

// Runs program (looked up on the PATH) with args and waits for it. Returns
// its exit status; its output, standard and error, goes into output. Raises
// Error naming the program when it cannot be started.
int RunProgram(const std::u16string& program, const std::vector<std::u16string>& args,
               std::string& output);

// Whether stp runs as root, where unpacking into a folder another user may
// change would hand that user what it writes (false on Windows, where the
// setup program's own test is the rule).
bool RunsAsRoot();
