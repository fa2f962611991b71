// NvSysUtils: registry values, drives and free space, the system directory,
// the information message, shell folders and shortcut files.
//
// Probes return absence values (empty text, -1, false); registry and OLE
// failures that the callers must hear of raise RegistryError or OleError.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "common/ByteSize.h"
#include "shell/Errors.h"

// The application title, used as the caption of messages that have none.
// The application object sets it.
void SetApplicationTitle(std::u16string title);
const std::u16string& ApplicationTitle();

// A modal information box with one OK button, owned by the active window.
void ShowInfoMessage(const std::u16string& Text, const std::u16string& Caption = u"");

// Free bytes available to the caller on the drive of that letter; -1 when the
// query fails.
int64_t DriveFreeSpace(char16_t DriveLetter);
// The decimal separator of the user's locale ("," for German), for
// FormatByteSize; "." when the locale gives none.
std::u16string UserDecimalSeparator();
// The upper-case letters of all fixed drives, in order ("CD").
std::u16string GetFixedDrives();
// The system directory with a trailing "\"; empty on failure.
std::u16string GetSystemDir();

// Creates every missing level of KeyPath below RootKey (a leading "\" is
// dropped). Raises RegistryError "Failed to create key %s".
bool RegCreateKeyPath(HKEY RootKey, const std::u16string& KeyPath);
// Writes a REG_SZ value, creating the key; false when the key cannot be
// opened or created. Raises RegistryError "Failed to set data for '%s'".
bool RegWriteText(HKEY RootKey, const std::u16string& KeyPath, const std::u16string& ValueName,
                  const std::u16string& Value);
// The same for a REG_DWORD value.
bool RegWriteNumber(HKEY RootKey, const std::u16string& KeyPath, const std::u16string& ValueName,
                    uint32_t Value);
// A REG_SZ or REG_EXPAND_SZ value (unexpanded); empty when the key or value
// is absent. Raises RegistryError "Failed to get data for '%s'" or "Invalid
// data type for '%s'".
std::u16string RegReadText(HKEY RootKey, const std::u16string& KeyPath,
                           const std::u16string& ValueName);

// Shell folders by kind: 0 desktop, 1 Quick Launch, 2 Send To, 3 Start menu,
// 4 Startup.
using FolderKind = uint8_t;

// The folder as the registry's "Shell Folders" holds it; empty when absent.
std::u16string GetShellFolder(FolderKind Kind);
// Writes LinkName (its extension replaced by ".lnk", its name part only) into
// the shell folder (and SubFolder); target, arguments and working directory
// only. Raises OleError when the link object cannot be had; every later
// failure is silent.
void CreateShortcut(const std::u16string& Target, const std::u16string& Arguments,
                    const std::u16string& LinkName, FolderKind Kind,
                    const std::u16string& SubFolder);
// The target of a shortcut file, or "unable to resolve link".
std::u16string ResolveShortcut(const std::u16string& LinkFile);
// The folder (with its "\") of the target of the shortcut LinkName + ".lnk"
// in the shell folder FolderName ("QuickLaunch", or a "Shell Folders" value
// such as "Desktop", also tried in its all-users form); empty when none.
std::u16string FindShortcutFolder(const std::u16string& LinkName, const std::u16string& FolderName);
