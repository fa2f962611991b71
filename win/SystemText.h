// The system's texts for its error codes.
#pragma once

#include <windows.h>

#include <string>

// Without trailing blanks and period; empty when the system has none.
std::u16string SystemErrorText(DWORD code);
// The same, or "system error N" when the system has none.
std::u16string SystemErrorTextOr(DWORD code);
// A native status (NTSTATUS) as the Win32 error it stands for.
std::u16string NtStatusText(LONG status);
