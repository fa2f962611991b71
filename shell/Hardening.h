// What an elevated program does first: DLLs are looked for in the system
// directory only, never in the folder it was started from (a downloads
// folder, or the temporary folder for the uninstaller's copy) or the current
// one, and the system shows no dialog of its own for a missing disk.
#pragma once

#include <windows.h>

#include <cstddef>

void HardenProcess();

// System DLLs that parts of the system (themes, the shell, COM, security)
// load by name once windows and COM objects exist. Where the system cannot
// be told to take DLLs from its own folder only (Windows XP, Vista, a 7
// without the update), a DLL of such a name beside the program would be
// loaded in their place; HardenProcess therefore loads each of them that the
// system has by its full path before any window exists, and the system finds
// it already loaded later.
inline constexpr const wchar_t* kPreloadedDlls[] = {
    L"uxtheme.dll", L"userenv.dll", L"setupapi.dll",  L"apphelp.dll",
    L"propsys.dll", L"dwmapi.dll",  L"cryptbase.dll", L"oleacc.dll",
    L"clbcatq.dll", L"ntmarta.dll", L"version.dll",
};

// How the search for DLLs is narrowed.
enum class TDllSearch {
  kAsTheSystemAllows,  // SetDefaultDllDirectories where it is offered and safe
  kWithoutDefaultDirs  // as on a system that lacks it: the preloading alone
};
void HardenProcess(TDllSearch search);

// Whether the process may take DLLs from the system directory only
// (SetDefaultDllDirectories) on this Windows version: not on Vista (6.0),
// where the update that adds the call makes the shell link object fail to
// be created afterwards, so that no shortcut could be made.
bool MayRestrictDllDirectories(DWORD major, DWORD minor);

// SetProcessMitigationPolicy's shape. The redirection trust policy makes the
// system ignore junctions and links that were made by non-administrators
// while this process opens files; EnableRedirectionTrust turns it on through
// the call given (looked up by name by HardenProcess: older systems lack it)
// and says whether it took.
using SetMitigationPolicyFn = BOOL(WINAPI*)(int policy, void* buffer, SIZE_T length);
inline constexpr int kRedirectionTrustPolicy = 16;      // ProcessRedirectionTrustPolicy
inline constexpr DWORD kEnforceRedirectionTrust = 0x1;  // its EnforceRedirectionTrust bit
bool EnableRedirectionTrust(SetMitigationPolicyFn setPolicy);
