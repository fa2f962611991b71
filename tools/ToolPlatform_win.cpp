#include <process.h>
#include <windows.h>

#include "common/Errors.h"
#include "common/Path.h"
#include "tools/ToolPlatform.h"

std::u16string ToolDataFolder() {
  wchar_t self[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  std::u16string own(reinterpret_cast<const char16_t*>(self));
  return ParentFolder(own);
}

std::u16string TypedPath(std::u16string path) {
  return path;
}

// The program's output goes to the console, as it comes.
int RunProgram(const std::u16string& program, const std::vector<std::u16string>& args,
               std::string& /*output*/) {
  // The C runtime joins the arguments with spaces: each is quoted here.
  std::vector<std::wstring> quoted;
  auto quote = [](const std::u16string& a) {
    std::wstring q = L"\"";
    size_t slashes = 0;
    for (char16_t c : a) {
      if (c == u'\\') {
        ++slashes;
        continue;
      }
      q.append(c == u'"' ? slashes * 2 + 1 : slashes, L'\\');
      slashes = 0;
      q += static_cast<wchar_t>(c);
    }
    q.append(slashes * 2, L'\\');
    return q + L"\"";
  };
  quoted.push_back(quote(program));
  for (const auto& a : args)
    quoted.push_back(quote(a));
  std::vector<const wchar_t*> argv;
  for (const auto& q : quoted)
    argv.push_back(q.c_str());
  argv.push_back(nullptr);
  const intptr_t status =
      _wspawnvp(_P_WAIT, reinterpret_cast<const wchar_t*>(program.c_str()), argv.data());
  if (status == -1)
    throw Error(u"cannot run " + program);
  return static_cast<int>(status);
}

bool RunsAsRoot() {
  return false;
}
