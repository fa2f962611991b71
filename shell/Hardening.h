// What an elevated program does first: DLLs are looked for in the system
// directory only, never in the folder it was started from (a downloads
// folder, or the temporary folder for the uninstaller's copy) or the current
// one, and the system shows no dialog of its own for a missing disk.
#pragma once

void HardenProcess();

// A function of a DLL that Windows does not always take from its own folder
// (it is no "known DLL"), loaded by its full path in the system directory
// rather than imported: an import would be looked for beside the program
// first, before HardenProcess could run. nullptr when it cannot be had.
void* SystemFunction(const wchar_t* dll, const char* name);

template <class F>
F SystemFunctionAs(const wchar_t* dll, const char* name) {
  return reinterpret_cast<F>(SystemFunction(dll, name));
}
