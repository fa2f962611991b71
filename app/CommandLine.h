// Setup.exe's command line, read as plain text. Without any argument the
// wizard runs as it always did; the switches (letter case ignored, led by
// "/" or "-") are:
//   /S              silent: nothing is shown, no question asked
//   /P              only a small progress window, no question asked
//   /NODESKTOP      no desktop shortcut
//   /NOQUICKLAUNCH  no Quick Launch shortcut
//   /LOG=<file>     a UTF-8 log of the run, at a whole path
//   /?              the usage
//   /D=<folder>     the destination, a whole path from a drive's root; it
//                   comes last and takes the rest of the line, with or
//                   without quotes around it
#pragma once

#include <string>
#include <string_view>

struct TCommandLine {
  bool silent = false;
  bool progressOnly = false;
  bool noDesktop = false;
  bool noQuickLaunch = false;
  bool usage = false;
  std::u16string destination;  // empty: the folder the wizard would propose
  std::u16string logFile;      // empty: no log unless the run fails
  // Why the line is refused (empty: it is good). A refused line installs
  // nothing; logFile is still kept when it was read before the fault.
  std::u16string fault;
  // Whether nothing may be shown: /S, also on a refused line.
  bool Quiet() const { return silent; }
  // Whether no question may be asked.
  bool Unattended() const { return silent || progressOnly; }
};

// The arguments of a whole command line as the system hands it over: the
// program's name (quoted, or up to the first blank) left out.
std::u16string_view ArgumentsOf(std::u16string_view commandLine);

// Reads the arguments (ArgumentsOf).
TCommandLine ParseCommandLine(std::u16string_view arguments);

// The usage text in a language (0 Chinese, anything else English).
std::u16string UsageText(int LanguageIndex);
