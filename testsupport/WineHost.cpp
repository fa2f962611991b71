#include "testsupport/WineHost.h"

#include <windows.h>

#include "testsupport/ChildProcess.h"
#include "testsupport/Wait.h"

namespace testsupport {

namespace {

template <typename Fn>
Fn WineExport(const char* dll, const char* name) {
  return reinterpret_cast<Fn>(
      reinterpret_cast<void (*)()>(GetProcAddress(GetModuleHandleA(dll), name)));
}

std::wstring Widen(const std::string& s) {
  const int n = MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), nullptr, 0);
  std::wstring w(static_cast<size_t>(n), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), w.data(), n);
  return w;
}

}  // namespace

bool UnderWine() {
  return WineExport<void (*)()>("ntdll.dll", "wine_get_version") != nullptr;
}

std::string UnixPath(const std::wstring& path) {
  using UnixName = char*(CDECL*)(LPCWSTR);
  const auto unixName = WineExport<UnixName>("kernel32.dll", "wine_get_unix_file_name");
  if (unixName == nullptr)
    return "";
  char* s = unixName(path.c_str());
  std::string r = s ? s : "";
  if (s)
    HeapFree(GetProcessHeap(), 0, s);
  return r;
}

std::wstring HostPath(const std::string& unixPath) {
  std::wstring w = L"Z:" + Widen(unixPath);
  for (wchar_t& c : w)
    c = c == L'/' ? L'\\' : c;
  return w;
}

bool RunHostProgram(const std::string& program, const std::string& args,
                    const std::function<bool()>& done, unsigned ms) {
  Process p;
  Process::Options options;
  options.program = HostPath(program);
  if (!p.Start(Widen(program + " " + args), options))
    return false;
  if (done)
    return WaitFor(done, ms);
  p.Wait(ms);
  return true;
}

}  // namespace testsupport
