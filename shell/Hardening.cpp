#include "shell/Hardening.h"

#include <windows.h>

#include "win/Api.h"
#include "win/Version.h"

namespace {

DWORD VersionWord() {
  const win::Version v = win::SystemVersion();
  return (v.major << 16) | (v.minor & 0xFFFF);
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
  const DWORD version = VersionWord();
  if (search == TDllSearch::kAsTheSystemAllows &&
      MayRestrictDllDirectories(version >> 16, version & 0xFFFF)) {
    if (auto setDefault = win::Api<win::Fn::SetDefaultDllDirectories>()) {
      if (setDefault(0x00000800))  // LOAD_LIBRARY_SEARCH_SYSTEM32
        win::SetSystemSearchOnly();
    }
  }
  if (auto setDir = win::Api<win::Fn::SetDllDirectoryW>())
    setDir(L"");
  // Without the call above the program's own folder is still searched first
  // for DLLs that the system loads by name later on.
  for (const wchar_t* dll : kPreloadedDlls)
    win::LoadSystemDll(dll);
  EnableRedirectionTrust(win::Api<win::Fn::SetProcessMitigationPolicy>());
}
