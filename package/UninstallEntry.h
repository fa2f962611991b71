// The uninstall entry that Setup.exe writes and Uninst.exe reads back: where
// it lives, how its publisher name tells the language, and how the program
// is found in its "UninstallString" (quoted as it is written now, or bare as
// older setups wrote it).
#pragma once

#include <string>

inline constexpr char16_t kUninstallRoot[] =
    u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall";

inline constexpr char16_t kChinesePublisher[] = u"诺凡软件";
inline constexpr char16_t kEnglishPublisher[] = u"Norvane Software";

// The uninstaller's language follows the publisher name the setup wrote.
inline bool IsChinesePublisher(const std::u16string& publisher) {
  return publisher == kChinesePublisher;
}

inline std::u16string UninstallKeyPath(const std::u16string& uninstallName) {
  return std::u16string(kUninstallRoot) + u"\\" + uninstallName;
}

// The command line that starts a program whose path may hold blanks.
inline std::u16string QuotedCommand(const std::u16string& program) {
  return u"\"" + program + u"\"";
}

// The program an "UninstallString" names: the quotes around it taken away
// (an entry written without them is read as it stands), trailing blanks too.
inline std::u16string UninstallProgramOf(std::u16string command) {
  while (!command.empty() && command.back() == u' ')
    command.pop_back();
  if (command.size() >= 2 && command.front() == u'"' && command.back() == u'"')
    command = command.substr(1, command.size() - 2);
  return command;
}
