// Every system function this project looks up by name rather than imports,
// in one table: each is newer than Windows XP, or native (ntdll), or in a
// DLL that is no "known DLL" and would be looked for beside the program if
// it were imported. The DLLs are loaded by their full path in the system
// directory only, once, and kept for the life of the program.
//
//   if (auto set = win::Api<win::Fn::NtSetInformationFile>()) set(...);
#pragma once

#include <windows.h>
#include <winternl.h>

namespace win {

// The native structures the table's calls take that the SDK headers lack.
struct FileRenameInformation {  // FILE_RENAME_INFORMATION, then the name
  BOOLEAN replaceIfExists;
  HANDLE rootDirectory;
  ULONG fileNameLength;  // in bytes
  WCHAR fileName[1];
};
struct FileAttributeTagInformation {  // FILE_ATTRIBUTE_TAG_INFORMATION
  ULONG fileAttributes;
  ULONG reparseTag;
};
inline constexpr int kFileRenameInformation = 10;
inline constexpr int kFileDispositionInformation = 13;
inline constexpr int kFileBasicInformation = 4;
inline constexpr int kFileAttributeTagInformation = 35;

// X(dll, return type, name, parameter list)
#define WIN_API_TABLE(X)                                                                          \
  /* kernel32: Windows 95 lacked the first; XP the next three, early XP SetDllDirectoryW */       \
  X(kKernel32, BOOL, GetDiskFreeSpaceExW,                                                         \
    (LPCWSTR, PULARGE_INTEGER, PULARGE_INTEGER, PULARGE_INTEGER))                                 \
  X(kKernel32, BOOL, SetDefaultDllDirectories, (DWORD))                                           \
  X(kKernel32, BOOL, SetDllDirectoryW, (LPCWSTR))                                                 \
  X(kKernel32, BOOL, SetProcessMitigationPolicy, (int, void*, SIZE_T))                            \
  /* ntdll: file operations relative to a folder handle, renames and deletes through a */         \
  /* handle (the documented wrappers need Vista), a process's parent */                           \
  X(kNtdll, NTSTATUS, NtCreateFile,                                                               \
    (HANDLE*, ACCESS_MASK, OBJECT_ATTRIBUTES*, IO_STATUS_BLOCK*, LARGE_INTEGER*, ULONG, ULONG,    \
     ULONG, ULONG, void*, ULONG))                                                                 \
  X(kNtdll, NTSTATUS, NtSetInformationFile, (HANDLE, IO_STATUS_BLOCK*, void*, ULONG, int))        \
  X(kNtdll, NTSTATUS, NtQueryInformationFile, (HANDLE, IO_STATUS_BLOCK*, void*, ULONG, int))      \
  X(kNtdll, NTSTATUS, NtQueryDirectoryFile,                                                       \
    (HANDLE, HANDLE, void*, void*, IO_STATUS_BLOCK*, void*, ULONG, int, BOOLEAN, UNICODE_STRING*, \
     BOOLEAN))                                                                                    \
  X(kNtdll, NTSTATUS, NtQueryInformationProcess, (HANDLE, int, void*, ULONG, ULONG*))             \
  X(kNtdll, ULONG, RtlNtStatusToDosError, (NTSTATUS))                                             \
  /* ntdll: the system's version, which no compatibility layer changes */                         \
  X(kNtdll, NTSTATUS, RtlGetVersion, (OSVERSIONINFOW*))                                           \
  /* no known DLLs: an import would be looked for beside the program first */                     \
  X(kComctl32, BOOL, InitCommonControlsEx, (const void*))                                         \
  X(kMsimg32, BOOL, TransparentBlt, (HDC, int, int, int, int, HDC, int, int, int, int, UINT))     \
  X(kShlwapi, LONG, SHDeleteKeyW, (HKEY, LPCWSTR))                                                \
  /* oleacc: the accessible objects of the controls */                                            \
  X(kOleacc, HRESULT, CreateStdAccessibleObject, (HWND, LONG, REFIID, void**))                    \
  X(kOleacc, LRESULT, LresultFromObject, (REFIID, WPARAM, void*))

enum class Dll { kKernel32, kNtdll, kComctl32, kMsimg32, kShlwapi, kOleacc, kCount };

enum class Fn {
#define WIN_API_ENUM(dll, ret, name, params) name,
  WIN_API_TABLE(WIN_API_ENUM)
#undef WIN_API_ENUM
      kCount
};

template <Fn F>
struct FnType;
#define WIN_API_TYPE(dll, ret, name, params) \
  template <>                                \
  struct FnType<Fn::name> {                  \
    using type = ret(WINAPI*) params;        \
  };
WIN_API_TABLE(WIN_API_TYPE)
#undef WIN_API_TYPE

// The function's address, looked up once; nullptr when the system lacks it.
void* LookUp(Fn f);

template <Fn F>
typename FnType<F>::type Api() {
  return reinterpret_cast<typename FnType<F>::type>(LookUp(F));
}

// A DLL of the system directory by its full path; nullptr when the system
// has none of that name. Loaded once and kept, like an import. dll is a
// bare file name ("uxtheme.dll").
HMODULE LoadSystemDll(const wchar_t* dll);

// Told once the process searches only the system directory for DLLs
// (SetDefaultDllDirectories took): a DLL loaded by full path then needs no
// flag of its own.
void SetSystemSearchOnly();

}  // namespace win
