// Started by the hardening tests from a folder where DLLs of system names
// have been planted beside it:
//   hardening_test_child MODE RESULTS NAME...
// MODE "none" does not harden, "default" hardens as the programs do, "legacy"
// hardens as on a system without SetDefaultDllDirectories. Then each NAME is
// loaded by name, as a part of the system would, and a line "NAME=PATH" with
// the file it came from is written to RESULTS.
#include <cstdio>
#include <cwchar>

#include "shell/Hardening.h"

int wmain(int argc, wchar_t** argv) {
  if (argc < 3)
    return 2;
  if (std::wcscmp(argv[1], L"default") == 0)
    HardenProcess();
  else if (std::wcscmp(argv[1], L"legacy") == 0)
    HardenProcess(TDllSearch::kWithoutDefaultDirs);
  else if (std::wcscmp(argv[1], L"none") != 0)
    return 2;
  std::FILE* out = _wfopen(argv[2], L"wb");
  if (out == nullptr)
    return 1;
  for (int i = 3; i < argc; ++i) {
    wchar_t path[MAX_PATH] = {};
    if (HMODULE m = LoadLibraryW(argv[i]))
      GetModuleFileNameW(m, path, MAX_PATH);
    std::fprintf(out, "%ls=%ls\n", argv[i], path);
  }
  std::fclose(out);
  return 0;
}
