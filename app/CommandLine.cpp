#include "app/CommandLine.h"

#include "common/Text.h"

namespace {

bool Blank(char16_t c) {
  return c == u' ' || c == u'\t';
}

// Whether text starts with a switch's name (after its "/" or "-"), letters
// compared without case.
bool StartsWithSwitch(std::u16string_view text, std::u16string_view name) {
  if (text.size() < name.size() + 1 || (text[0] != u'/' && text[0] != u'-'))
    return false;
  return AsciiUpper(text.substr(1, name.size())) == name;
}

// A whole path from a drive's root ("C:\..." or "C:/..."), which is all the
// elevated program accepts: a relative one would depend on whatever folder
// it was started in.
bool WholePath(std::u16string_view path) {
  if (path.size() < 3)
    return false;
  const char16_t d = path[0];
  const bool letter = (d >= u'A' && d <= u'Z') || (d >= u'a' && d <= u'z');
  return letter && path[1] == u':' && (path[2] == u'\\' || path[2] == u'/');
}

std::u16string_view TrimEnd(std::u16string_view s) {
  while (!s.empty() && Blank(s.back()))
    s.remove_suffix(1);
  return s;
}

// The destination: the rest of the line after "/D=" (rest starts at the
// switch, or at a quote in front of it).
void ReadDestination(std::u16string_view rest, TCommandLine& line) {
  const bool quotedWhole = rest.front() == u'"';
  std::u16string_view value = TrimEnd(rest.substr(quotedWhole ? 4 : 3));
  bool closed = false;
  if (quotedWhole) {
    // "/D=C:\Silent Dir\Drawlet": the closing quote ends the line.
    const size_t q = value.find(u'"');
    closed = q != std::u16string_view::npos && q + 1 == value.size();
    if (!closed) {
      line.fault = u"/D= must be the last argument";
      return;
    }
    value.remove_suffix(1);
  } else if (!value.empty() && value.front() == u'"') {
    // /D="C:\Silent Dir\Drawlet"
    const size_t q = value.find(u'"', 1);
    if (q == std::u16string_view::npos || q + 1 != value.size()) {
      line.fault = u"/D= must be the last argument";
      return;
    }
    value = value.substr(1, q - 1);
    closed = true;
  }
  if (!closed) {
    // Unquoted, it takes the rest of the line: a switch after it shows
    // that it was not the last argument ("/" is no part of a folder name).
    for (size_t i = 1; i < value.size(); ++i) {
      if (Blank(value[i - 1]) && (value[i] == u'/' || value[i] == u'"')) {
        line.fault = u"/D= must be the last argument";
        return;
      }
    }
  }
  if (!WholePath(value)) {
    line.fault = u"/D= needs a whole path from a drive's root: \"" + std::u16string(value) + u"\"";
    return;
  }
  line.destination = std::u16string(value);
}

}  // namespace

std::u16string_view ArgumentsOf(std::u16string_view commandLine) {
  size_t i = 0;
  if (!commandLine.empty() && commandLine[0] == u'"') {
    const size_t q = commandLine.find(u'"', 1);
    i = q == std::u16string_view::npos ? commandLine.size() : q + 1;
  }
  while (i < commandLine.size() && !Blank(commandLine[i]))
    ++i;
  while (i < commandLine.size() && Blank(commandLine[i]))
    ++i;
  return commandLine.substr(i);
}

TCommandLine ParseCommandLine(std::u16string_view arguments) {
  TCommandLine line;
  size_t i = 0;
  // After a fault the line is still read to its end for /S and /LOG=, so
  // that a refused silent run shows nothing and logs where it was told.
  const auto refuse = [&line](std::u16string why) {
    if (line.fault.empty())
      line.fault = std::move(why);
  };
  for (;;) {
    while (i < arguments.size() && Blank(arguments[i]))
      ++i;
    if (i == arguments.size())
      break;
    const std::u16string_view rest = arguments.substr(i);
    const std::u16string_view unquoted = rest.front() == u'"' ? rest.substr(1) : rest;
    if (StartsWithSwitch(unquoted, u"D=")) {
      if (line.fault.empty())
        ReadDestination(rest, line);
      break;
    }
    // One argument: up to a blank outside quotes, the quotes left out.
    std::u16string arg;
    bool inQuotes = false;
    for (; i < arguments.size() && (inQuotes || !Blank(arguments[i])); ++i) {
      if (arguments[i] == u'"')
        inQuotes = !inQuotes;
      else
        arg += arguments[i];
    }
    const std::u16string name = arg.size() > 1 ? AsciiUpper(arg.substr(1)) : std::u16string();
    const bool isSwitch = !arg.empty() && (arg[0] == u'/' || arg[0] == u'-');
    if (isSwitch && name == u"S") {
      line.silent = true;
    } else if (isSwitch && name == u"P") {
      line.progressOnly = true;
    } else if (isSwitch && name == u"NODESKTOP") {
      line.noDesktop = true;
    } else if (isSwitch && name == u"NOQUICKLAUNCH") {
      line.noQuickLaunch = true;
    } else if (isSwitch && name == u"?") {
      line.usage = true;
    } else if (isSwitch && StartsWithSwitch(arg, u"LOG=")) {
      const std::u16string file = arg.substr(5);
      if (WholePath(file) && file.back() != u'\\' && file.back() != u'/')
        line.logFile = file;
      else
        refuse(u"/LOG= needs a whole path of a file from a drive's root: \"" + file + u"\"");
    } else {
      refuse(u"unknown argument \"" + arg + u"\"");
    }
  }
  return line;
}

std::u16string UsageText(int LanguageIndex) {
  if (LanguageIndex == 0) {
    return u"Setup.exe [/S | /P] [/NODESKTOP] [/NOQUICKLAUNCH] [/LOG=文件] [/D=文件夹]\n\n"
           u"/S\t静默安装：不显示任何窗口，不提问\n"
           u"/P\t只显示一个进度窗口，不提问\n"
           u"/NODESKTOP\t不创建桌面快捷方式\n"
           u"/NOQUICKLAUNCH\t不创建快速启动栏快捷方式\n"
           u"/LOG=文件\t把安装过程记录到这个文件（UTF-8）\n"
           u"/D=文件夹\t安装位置（完整路径），必须是最后一个参数，可以带空格\n\n"
           u"退出码：0 成功，1602 用户取消，1603 安装失败，1618 另一个安装正在进行，"
           u"1639 命令行无效。";
  }
  return u"Setup.exe [/S | /P] [/NODESKTOP] [/NOQUICKLAUNCH] [/LOG=file] [/D=folder]\n\n"
         u"/S\tsilent: nothing is shown, nothing asked\n"
         u"/P\tonly a progress window, nothing asked\n"
         u"/NODESKTOP\tno desktop shortcut\n"
         u"/NOQUICKLAUNCH\tno Quick Launch shortcut\n"
         u"/LOG=file\ta log of the run in this file (UTF-8)\n"
         u"/D=folder\tthe destination, a whole path; it comes last and may hold blanks\n\n"
         u"Exit codes: 0 installed, 1602 cancelled, 1603 failed, 1618 another setup is "
         u"running, 1639 bad command line.";
}
