// version_fields PROGRAM: the version information as the system reads it
// (GetFileVersionInfoW, VerQueryValueW), one "name=value" line each in
// UTF-8: the fixed file and product versions, the translations, then each
// translation's texts in a fixed order. Exit status 0, or 2 when the
// program carries none.
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

void Line(const std::wstring& name, const std::wstring& value) {
  const std::wstring line = name + L"=" + value + L"\n";
  const int n = WideCharToMultiByte(CP_UTF8, 0, line.c_str(), static_cast<int>(line.size()),
                                    nullptr, 0, nullptr, nullptr);
  std::string utf8(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, line.c_str(), static_cast<int>(line.size()), utf8.data(), n,
                      nullptr, nullptr);
  std::fwrite(utf8.data(), 1, utf8.size(), stdout);
}

std::wstring Numbers(DWORD ms, DWORD ls) {
  return std::to_wstring(HIWORD(ms)) + L"." + std::to_wstring(LOWORD(ms)) + L"." +
         std::to_wstring(HIWORD(ls)) + L"." + std::to_wstring(LOWORD(ls));
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: version_fields PROGRAM\n");
    return 2;
  }
  DWORD handle = 0;
  const DWORD size = GetFileVersionInfoSizeW(argv[1], &handle);
  std::vector<BYTE> info(size);
  if (size == 0 || !GetFileVersionInfoW(argv[1], 0, size, info.data())) {
    std::fprintf(stderr, "version_fields: no version information in %ls (%lu)\n", argv[1],
                 GetLastError());
    return 2;
  }
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT length = 0;
  if (VerQueryValueW(info.data(), L"\\", reinterpret_cast<void**>(&fixed), &length) &&
      length >= sizeof *fixed) {
    Line(L"FileVersion", Numbers(fixed->dwFileVersionMS, fixed->dwFileVersionLS));
    Line(L"ProductVersion", Numbers(fixed->dwProductVersionMS, fixed->dwProductVersionLS));
  }
  WORD* translations = nullptr;
  if (!VerQueryValueW(info.data(), L"\\VarFileInfo\\Translation",
                      reinterpret_cast<void**>(&translations), &length))
    length = 0;
  for (UINT i = 0; i + 1 < length / 2; i += 2) {
    wchar_t block[9];
    swprintf(block, 9, L"%04X%04X", translations[i], translations[i + 1]);
    Line(L"Translation", block);
    for (const wchar_t* name :
         {L"CompanyName", L"FileDescription", L"FileVersion", L"LegalCopyright",
          L"OriginalFilename", L"ProductName", L"ProductVersion"}) {
      wchar_t* text = nullptr;
      UINT n = 0;
      const std::wstring path = std::wstring(L"\\StringFileInfo\\") + block + L"\\" + name;
      if (VerQueryValueW(info.data(), path.c_str(), reinterpret_cast<void**>(&text), &n) && n > 0)
        Line(std::wstring(block) + L"/" + name, std::wstring(text));
    }
  }
  return 0;
}
