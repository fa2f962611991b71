#include "app/CommandLine.h"

#include <gtest/gtest.h>

#include <tuple>

#include "common/Text.h"

namespace {

struct Row {
  const char16_t* line;  // the whole command line, program name first
  bool silent, progressOnly, noDesktop, noQuickLaunch, usage;
  const char16_t* destination;
  const char16_t* logFile;
  bool refused;
};

constexpr Row kRows[] = {
    {u"Setup.exe", false, false, false, false, false, u"", u"", false},
    {u"\"C:\\My Files\\Setup.exe\"  ", false, false, false, false, false, u"", u"", false},
    {u"Setup.exe /S", true, false, false, false, false, u"", u"", false},
    {u"Setup.exe -s", true, false, false, false, false, u"", u"", false},
    {u"Setup.exe /p /nodesktop -NoQuickLaunch", false, true, true, true, false, u"", u"", false},
    {u"Setup.exe /?", false, false, false, false, true, u"", u"", false},
    {u"Setup.exe /S /LOG=C:\\Users\\Public\\setup.log", true, false, false, false, false, u"",
     u"C:\\Users\\Public\\setup.log", false},
    {u"Setup.exe \"/LOG=C:\\Log Dir\\s.log\" /S", true, false, false, false, false, u"",
     u"C:\\Log Dir\\s.log", false},
    {u"Setup.exe /log=\"C:\\Log Dir\\s.log\"", false, false, false, false, false, u"",
     u"C:\\Log Dir\\s.log", false},
    {u"Setup.exe /S /D=C:\\Silent Dir\\Drawlet", true, false, false, false, false,
     u"C:\\Silent Dir\\Drawlet", u"", false},
    {u"Setup.exe /S \"/D=C:\\Silent Dir\\Drawlet\"", true, false, false, false, false,
     u"C:\\Silent Dir\\Drawlet", u"", false},
    {u"Setup.exe /S /D=\"C:\\Silent Dir\\Drawlet\"  ", true, false, false, false, false,
     u"C:\\Silent Dir\\Drawlet", u"", false},
    {u"Setup.exe -d=d:/apps", false, false, false, false, false, u"d:/apps", u"", false},
    // Refused lines: nothing installed, the log kept where it was read.
    {u"Setup.exe /Q", false, false, false, false, false, u"", u"", true},
    {u"Setup.exe /Q /S /LOG=C:\\s.log", true, false, false, false, false, u"", u"C:\\s.log", true},
    {u"Setup.exe S", false, false, false, false, false, u"", u"", true},
    {u"Setup.exe /S /LOG=C:\\s.log /silent", true, false, false, false, false, u"", u"C:\\s.log",
     true},
    {u"Setup.exe /D=C:\\Apps /S", false, false, false, false, false, u"", u"", true},
    {u"Setup.exe \"/D=C:\\Apps\" /S", false, false, false, false, false, u"", u"", true},
    {u"Setup.exe /D=\"C:\\Apps\" /S", false, false, false, false, false, u"", u"", true},
    {u"Setup.exe /S /D=Apps\\Drawlet", true, false, false, false, false, u"", u"", true},
    {u"Setup.exe /S /D=\\\\server\\share", true, false, false, false, false, u"", u"", true},
    {u"Setup.exe /S /D=", true, false, false, false, false, u"", u"", true},
    {u"Setup.exe /LOG=setup.log", false, false, false, false, false, u"", u"", true},
    {u"Setup.exe /LOG=C:\\logs\\", false, false, false, false, false, u"", u"", true},
};

TEST(CommandLine, Table) {
  for (const Row& r : kRows) {
    SCOPED_TRACE(ToUtf8(r.line));
    const TCommandLine c = ParseCommandLine(ArgumentsOf(r.line));
    EXPECT_EQ(std::tie(c.silent, c.progressOnly, c.noDesktop, c.noQuickLaunch, c.usage),
              std::tie(r.silent, r.progressOnly, r.noDesktop, r.noQuickLaunch, r.usage));
    EXPECT_EQ(ToUtf8(c.destination + u"|" + c.logFile),
              ToUtf8(r.destination) + "|" + ToUtf8(r.logFile));
    EXPECT_EQ(!c.fault.empty(), r.refused) << ToUtf8(c.fault);
  }
}

}  // namespace
