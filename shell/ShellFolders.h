// The user's shell folders as the registry's "Shell Folders" key names them.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

// Shell folders by kind.
using FolderKind = uint8_t;
inline constexpr FolderKind kDesktop = 0;
inline constexpr FolderKind kQuickLaunch = 1;
inline constexpr FolderKind kSendTo = 2;
inline constexpr FolderKind kStartMenu = 3;
inline constexpr FolderKind kStartup = 4;

// The Quick Launch folder below the "AppData" folder.
inline constexpr char16_t kQuickLaunchBelowAppData[] =
    u"\\Microsoft\\Internet Explorer\\Quick Launch";

// The folder as the registry's "Shell Folders" holds it; empty when absent.
std::u16string GetShellFolder(FolderKind Kind);
// The value Name of the "Shell Folders" key below RootKey (HKEY_CURRENT_USER:
// the user's, HKEY_LOCAL_MACHINE: all users' "Common ..." ones), read as
// RegReadText does; empty when absent.
std::u16string ShellFolderValue(HKEY RootKey, const std::u16string& Name);
