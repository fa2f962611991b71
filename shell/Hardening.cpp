#include "shell/Hardening.h"

#include <windows.h>

void HardenProcess() {
  SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
  // Both are looked up by name: Windows XP lacks the first, and early XP the
  // second.
  HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
  if (kernel == nullptr)
    return;
  using SetDefaultDirs = BOOL(WINAPI*)(DWORD);
  using SetDllDir = BOOL(WINAPI*)(LPCWSTR);
  if (auto setDefault = reinterpret_cast<SetDefaultDirs>(
          reinterpret_cast<void*>(GetProcAddress(kernel, "SetDefaultDllDirectories")))) {
    setDefault(0x00000800);  // LOAD_LIBRARY_SEARCH_SYSTEM32
  }
  if (auto setDir = reinterpret_cast<SetDllDir>(
          reinterpret_cast<void*>(GetProcAddress(kernel, "SetDllDirectoryW")))) {
    setDir(L"");
  }
}

void* SystemFunction(const wchar_t* dll, const char* name) {
  wchar_t path[MAX_PATH] = {};
  const UINT n = GetSystemDirectoryW(path, MAX_PATH);
  if (n == 0 || n + 2 + lstrlenW(dll) >= MAX_PATH)
    return nullptr;
  lstrcatW(path, L"\\");
  lstrcatW(path, dll);
  // Loaded once and kept for the life of the program, like an import.
  HMODULE module = GetModuleHandleW(path);
  if (module == nullptr)
    module = LoadLibraryW(path);
  if (module == nullptr)
    return nullptr;
  return reinterpret_cast<void*>(GetProcAddress(module, name));
}
