#include "win/Api.h"

#include <atomic>

namespace win {
namespace {

bool systemSearchOnly = false;

const wchar_t* const kDllNames[] = {L"kernel32.dll", L"ntdll.dll",   L"comctl32.dll",
                                    L"msimg32.dll",  L"shlwapi.dll", L"oleacc.dll"};
static_assert(sizeof kDllNames / sizeof kDllNames[0] == static_cast<size_t>(Dll::kCount));

struct Entry {
  Dll dll;
  const char* name;
};
const Entry kEntries[] = {
#define WIN_API_ENTRY(dll, ret, name, params) {Dll::dll, #name},
    WIN_API_TABLE(WIN_API_ENTRY)
#undef WIN_API_ENTRY
};
static_assert(sizeof kEntries / sizeof kEntries[0] == static_cast<size_t>(Fn::kCount));

}  // namespace

void SetSystemSearchOnly() {
  systemSearchOnly = true;
}

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
  return LoadLibraryExW(path, nullptr, systemSearchOnly ? 0 : LOAD_WITH_ALTERED_SEARCH_PATH);
}

void* LookUp(Fn f) {
  // Each looked up once; a missing one is asked again (it costs a failed
  // lookup, and nothing here is on a hot path).
  static std::atomic<void*> found[static_cast<size_t>(Fn::kCount)] = {};
  const size_t i = static_cast<size_t>(f);
  if (void* p = found[i].load())
    return p;
  HMODULE module = LoadSystemDll(kDllNames[static_cast<size_t>(kEntries[i].dll)]);
  void* p = module == nullptr ? nullptr
                              : reinterpret_cast<void*>(GetProcAddress(module, kEntries[i].name));
  found[i].store(p);
  return p;
}

}  // namespace win
