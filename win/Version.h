// The Windows version, as the system itself tells it (RtlGetVersion): a
// compatibility layer that a user sets for a program (in HKCU) changes what
// GetVersionExW answers, never this.
#pragma once

#include <windows.h>

namespace win {

struct Version {
  DWORD major = 0;
  DWORD minor = 0;
};

// 0.0 when the system cannot tell.
Version SystemVersion();

}  // namespace win
