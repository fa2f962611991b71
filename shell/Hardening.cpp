#include "shell/Hardening.h"

#include <windows.h>

namespace {

// Set once SetDefaultDllDirectories has narrowed the search to the system
// directory: a DLL loaded by full path then needs no flag of its own.
bool defaultDirsSet = false;

// A DLL of the system directory by its full path; nullptr when the system
// has none of that name. Loaded once and kept for the life of the program,
// like an import.
HMODULE LoadSystemDll(const wchar_t* dll) {
  wchar_t path[MAX_PATH] = {};
  const UINT n = GetSystemDirectoryW(path, MAX_PATH);
  if (n == 0 || n + 2 + lstrlenW(dll) >= MAX_PATH)
    return nullptr;
  lstrcatW(path, L"\\");
  lstrcatW(path, dll);
  if (HMODULE module = GetModuleHandleW(path))
    return module;
  if (GetFileAttributesW(path) == INVALID_FILE_ATTRIBUTES)
    return nullptr;
  // The DLLs it imports in turn are looked for in the system directory too,
  // not beside the program.
  return LoadLibraryExW(path, nullptr, defaultDirsSet ? 0 : LOAD_WITH_ALTERED_SEARCH_PATH);
}

DWORD VersionWord() {
  OSVERSIONINFOW v{};
  v.dwOSVersionInfoSize = sizeof v;
  if (!GetVersionExW(&v))
    return 0;
  return (v.dwMajorVersion << 16) | (v.dwMinorVersion & 0xFFFF);
}

}  // namespace

bool MayRestrictDllDirectories(DWORD major, DWORD minor) {
  return !(major == 6 && minor == 0);
}

bool EnableRedirectionTrust(SetMitigationPolicyFn setPolicy) {
  if (setPolicy == nullptr)
    return false;
  DWORD flags = kEnforceRedirectionTrust;
  return setPolicy(kRedirectionTrustPolicy, &flags, sizeof flags) != FALSE;
}

void HardenProcess() {
  HardenProcess(TDllSearch::kAsTheSystemAllows);
}

void HardenProcess(TDllSearch search) {
  SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
  // Everything newer than Windows XP is looked up by name: XP lacks the
  // first and the last, early XP the second.
  HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
  if (kernel == nullptr)
    return;
  using SetDefaultDirs = BOOL(WINAPI*)(DWORD);
  using SetDllDir = BOOL(WINAPI*)(LPCWSTR);
  const DWORD version = VersionWord();
  if (search == TDllSearch::kAsTheSystemAllows &&
      MayRestrictDllDirectories(version >> 16, version & 0xFFFF)) {
    if (auto setDefault = reinterpret_cast<SetDefaultDirs>(
            reinterpret_cast<void*>(GetProcAddress(kernel, "SetDefaultDllDirectories")))) {
      defaultDirsSet = setDefault(0x00000800) != FALSE;  // LOAD_LIBRARY_SEARCH_SYSTEM32
    }
  }
  if (auto setDir = reinterpret_cast<SetDllDir>(
          reinterpret_cast<void*>(GetProcAddress(kernel, "SetDllDirectoryW")))) {
    setDir(L"");
  }
  // Without the call above the program's own folder is still searched first
  // for DLLs that the system loads by name later on.
  for (const wchar_t* dll : kPreloadedDlls)
    LoadSystemDll(dll);
  EnableRedirectionTrust(reinterpret_cast<SetMitigationPolicyFn>(
      reinterpret_cast<void*>(GetProcAddress(kernel, "SetProcessMitigationPolicy"))));
}

void* SystemFunction(const wchar_t* dll, const char* name) {
  HMODULE module = LoadSystemDll(dll);
  if (module == nullptr)
    return nullptr;
  return reinterpret_cast<void*>(GetProcAddress(module, name));
}
