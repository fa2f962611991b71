// The uninstall entry that Setup.exe writes and Uninst.exe reads back: where
// it lives, how its publisher name tells the language, and how the program
// is found in its "UninstallString" (quoted as it is written now, or bare as
// older setups wrote it).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

inline constexpr char16_t kUninstallRoot[] =
    u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall";

// The publisher's web host, for the uninstall key's "URLInfoAbout" and the
// conflict notice's address. Short enough that the notice's address line
// (274 pixels of 14-pixel Tahoma) shows it whole.
inline constexpr char16_t kPublisherHost[] = u"www.norvane.com";

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

// The uninstall key's values in the order they are written: the six that
// every version of the setup wrote, then what deployment tools read (the
// quiet command, the folder, the size in KiB, the date as YYYYMMDD, and that
// there is nothing to modify or repair).
struct TUninstallValue {
  std::u16string name;
  std::u16string value;
  bool isNumber = false;  // a DWORD: number, not value
  uint32_t number = 0;
};
// What the entry names: the key's (and shortcuts') name, the program's short
// name (its ".exe" gives the icon) and the version shown.
struct TUninstallProduct {
  std::u16string uninstallName;
  std::u16string shortName;
  std::u16string version;
};
struct TInstallFacts {
  int64_t unpackedBytes = 0;
  std::u16string installDate;  // YYYYMMDD
};
std::vector<TUninstallValue> UninstallValues(bool chinese, const TUninstallProduct& product,
                                             const std::u16string& destDir,
                                             const TInstallFacts& facts = {});
