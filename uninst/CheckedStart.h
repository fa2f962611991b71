// Starting exactly the program file that was checked. A path is looked up
// again when the process is made, so a folder on the way that another
// account swapped for a link in the meantime would start its program; the
// process is therefore made suspended, and runs only when the file its image
// came from is the one held open.
#pragma once

#include <windows.h>

#include <string>

#include "win/Handle.h"

// Whether the process's image was made from the file held open by file (the
// same volume and file index).
bool ImageIsFile(HANDLE process, HANDLE file);

// Starts the program at path with the command line, the current folder and
// (with inherit) this process's inheritable handles, suspended; resumes it
// when its image is the file held by file, else ends it before any of its
// code has run. The running process, or no handle.
win::Handle StartExactly(const std::u16string& path, const std::u16string& commandLine, HANDLE file,
                         const std::u16string& currentFolder, bool inherit);
