// setup_tour: walks a Setup.exe through its pages as a person would.
//
//   setup_tour screenshots OUTDIR [--dpi N]... SETUP...
//                                           every page of each program, as
//                                           OUTDIR\<program>-<n>-<page>.bmp;
//                                           with --dpi, at each DPI N (the
//                                           display setting every program
//                                           started afterwards is given), in
//                                           OUTDIR\dpiN unless N is 96
//   setup_tour install SETUP DEST           a whole installation into DEST,
//                                           then where everything went
//   setup_tour report                       where the installations of the
//                                           publisher's products went
//   setup_tour time-install SETUP DEST      a whole installation into DEST;
//                                           prints the seconds from the
//                                           Install click to the finish page
//                                           and the program's peak memory
//   setup_tour time-start PROGRAM           prints the seconds from starting
//                                           any program to its first visible
//                                           window, then ends it
//
// Exit status: 0 done, 1 failed.
#include <windows.h>

#include <psapi.h>

#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

#include "app/ControlIds.h"
#include "testsupport/WinFiles.h"
#include "testsupport/WizardDriver.h"

namespace {

void Say(const std::wstring& text) {
  // The console may not be UTF-16; UTF-8 reads well in a terminal.
  const int n = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, out.data(), n, nullptr, nullptr);
  std::fputs(out.c_str(), stdout);
  std::fputs("\n", stdout);
  std::fflush(stdout);
}

std::wstring BaseName(const std::wstring& path) {
  const size_t slash = path.find_last_of(L"\\/");
  std::wstring name = slash == std::wstring::npos ? path : path.substr(slash + 1);
  if (const size_t dot = name.rfind(L'.'); dot != std::wstring::npos)
    name.resize(dot);
  return name;
}

// Waits for the finish page after Install; answers nothing.
bool WaitFinishPage(WizardDriver& d) {
  for (int i = 0; i < 600; ++i) {
    if (d.Shown(idPnlStep4))
      return true;
    if (!d.Running())
      return false;
    Sleep(100);
  }
  return false;
}

bool Capture(WizardDriver& d, const std::wstring& dir, const std::wstring& name) {
  Sleep(300);  // let the window paint
  const std::wstring path = dir + L"\\" + name + L".bmp";
  if (!d.Capture(path)) {
    Say(L"setup_tour: could not capture " + path);
    return false;
  }
  Say(path);
  return true;
}

int Screenshots(const std::wstring& dir, const std::vector<std::wstring>& programs) {
  CreateDirectoryW(dir.c_str(), nullptr);
  bool ok = true;
  for (const std::wstring& program : programs) {
    const std::wstring base = BaseName(program);
    WizardDriver d;
    if (!d.Start(program) || d.Wizard() == nullptr) {
      Say(L"setup_tour: " + program + L" showed no wizard");
      return 1;
    }
    SetForegroundWindow(d.Wizard());
    ok = Capture(d, dir, base + L"-1-welcome") && ok;
    d.Click(idBtnNext);
    ok = Capture(d, dir, base + L"-2-licence") && ok;
    d.Click(idBtnNext);
    d.Type(idEditSetupDir, L"C:\\Tour\\" + base);
    ok = Capture(d, dir, base + L"-3-folder") && ok;
    d.ClickNoWait(idBtnNext);
    if (!WaitFinishPage(d)) {
      Say(L"setup_tour: " + program + L" did not reach its finish page");
      return 1;
    }
    d.Settle();
    ok = Capture(d, dir, base + L"-4-finish") && ok;
    // The conflict notice is never shown by the program; show it here, once,
    // for a person to look at.
    if (HWND notice = d.TopLevel(L"温馨提示 - 诺凡画图"); notice != nullptr && base == L"Setup") {
      ShowWindow(notice, SW_SHOWNORMAL);
      SetForegroundWindow(notice);
      Sleep(300);
      const std::wstring path = dir + L"\\" + base + L"-5-conflict-notice.bmp";
      ok = CaptureWindow(notice, path) && ok;
      Say(path);
      ShowWindow(notice, SW_HIDE);
    }
    d.SetCheck(idChkRunOnExit, false);
    d.ClickNoWait(idBtnNext);
    ok = d.WaitExit() && ok;
  }
  return ok ? 0 : 1;
}

// The DPI that programs started from now on are given: the user's setting
// and the machine's font setting, as the display settings write them.
void SetDpi(DWORD dpi) {
  const struct {
    HKEY root;
    const wchar_t* path;
  } keys[] = {
      {HKEY_CURRENT_USER, L"Control Panel\\Desktop"},
      {HKEY_LOCAL_MACHINE,
       L"System\\CurrentControlSet\\Hardware Profiles\\Current\\Software\\Fonts"},
  };
  for (const auto& k : keys) {
    HKEY key = nullptr;
    if (RegCreateKeyExW(k.root, k.path, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr) ==
        ERROR_SUCCESS) {
      RegSetValueExW(key, L"LogPixels", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&dpi),
                     sizeof dpi);
      RegCloseKey(key);
    }
  }
}

int ScreenshotsAtDpis(const std::wstring& dir, std::vector<std::wstring> args) {
  std::vector<DWORD> dpis;
  while (args.size() >= 2 && args[0] == L"--dpi") {
    dpis.push_back(static_cast<DWORD>(std::wcstoul(args[1].c_str(), nullptr, 10)));
    args.erase(args.begin(), args.begin() + 2);
  }
  if (dpis.empty())
    return Screenshots(dir, args);
  int rc = 0;
  CreateDirectoryW(dir.c_str(), nullptr);
  for (DWORD dpi : dpis) {
    SetDpi(dpi);
    const std::wstring out = dpi == 96 ? dir : dir + L"\\dpi" + std::to_wstring(dpi);
    if (Screenshots(out, args) != 0)
      rc = 1;
  }
  return rc;
}

std::wstring RegValue(const std::wstring& key, const wchar_t* name) {
  wchar_t buf[1024] = {};
  DWORD size = sizeof buf;
  if (RegGetValueW(HKEY_LOCAL_MACHINE, key.c_str(), name, RRF_RT_REG_SZ, nullptr, buf, &size) !=
      ERROR_SUCCESS) {
    return L"(none)";
  }
  return buf;
}

void ListFiles(const std::wstring& dir) {
  testsupport::WalkTree(dir, [](const testsupport::TreeEntry& e) {
    const std::wstring indent(2 * static_cast<size_t>(e.depth) + 2, L' ');
    Say(indent + e.name + (e.folder ? L"\\" : L"  (" + std::to_wstring(e.size) + L" bytes)"));
  });
}

// Prints the files, the shortcut and the uninstall key of every installation
// of the publisher's products (or only the one in dest).
int Report(const std::wstring& dest) {
  // A 32-bit program on 64-bit Windows has its system files in SysWOW64 and
  // its keys under Wow6432Node; the report names where they really are.
  BOOL wow64 = FALSE;
  IsWow64Process(GetCurrentProcess(), &wow64);
  wchar_t system[MAX_PATH] = {};
  if (!wow64 || GetSystemWow64DirectoryW(system, MAX_PATH) == 0)
    GetSystemDirectoryW(system, MAX_PATH);
  HKEY uninstall = nullptr;
  const std::wstring root = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
  const std::wstring shownRoot =
      wow64 ? L"SOFTWARE\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Uninstall" : root;
  int found = 0;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, root.c_str(), 0, KEY_READ, &uninstall) == ERROR_SUCCESS) {
    wchar_t name[256];
    for (DWORD i = 0;; ++i) {
      DWORD n = 256;
      if (RegEnumKeyExW(uninstall, i, name, &n, nullptr, nullptr, nullptr, nullptr) !=
          ERROR_SUCCESS) {
        break;
      }
      const std::wstring key = root + L"\\" + name;
      const std::wstring publisher = RegValue(key, L"Publisher");
      if (publisher != L"Norvane Software" && publisher != L"诺凡软件")
        continue;
      // The command is quoted: "C:\...\Uninst.exe".
      std::wstring uninst = RegValue(key, L"UninstallString");
      if (!uninst.empty() && uninst.front() == L'"')
        uninst = uninst.substr(1, uninst.find(L'"', 1) - 1);
      const std::wstring folder = uninst.substr(0, uninst.find_last_of(L'\\') + 1);
      if (!dest.empty() && folder != dest && folder != dest + L"\\")
        continue;
      ++found;
      Say(L"\nFiles in " + folder + L":");
      ListFiles(folder);
      Say(L"System directory " + std::wstring(system) + L": NvDrawlet.dat " +
          (GetFileAttributesW((std::wstring(system) + L"\\NvDrawlet.dat").c_str()) !=
                   INVALID_FILE_ATTRIBUTES
               ? L"present"
               : L"absent"));
      for (const wchar_t* kind : {L"Desktop", L"AppData"}) {
        wchar_t shell[MAX_PATH] = {};
        DWORD size = sizeof shell;
        RegGetValueW(HKEY_CURRENT_USER,
                     L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders", kind,
                     RRF_RT_REG_SZ, nullptr, shell, &size);
        std::wstring link = std::wstring(shell) + L"\\";
        if (std::wstring(kind) == L"AppData")
          link += L"Microsoft\\Internet Explorer\\Quick Launch\\";
        link += std::wstring(name) + L".lnk";
        Say(std::wstring(L"Shortcut ") + link +
            (GetFileAttributesW(link.c_str()) != INVALID_FILE_ATTRIBUTES ? L": present"
                                                                         : L": absent"));
      }
      Say(L"Uninstall key HKLM\\" + shownRoot + L"\\" + name + L":");
      for (const wchar_t* v : {L"DisplayIcon", L"DisplayName", L"DisplayVersion", L"Publisher",
                               L"URLInfoAbout", L"UninstallString"}) {
        Say(std::wstring(L"  ") + v + L" = " + RegValue(key, v));
      }
    }
    RegCloseKey(uninstall);
  }
  if (found == 0)
    Say(L"No installation of the publisher's products is registered.");
  return 0;
}

int Install(const std::wstring& program, const std::wstring& dest) {
  WizardDriver d;
  if (!d.Start(program) || d.Wizard() == nullptr) {
    Say(L"setup_tour: " + program + L" showed no wizard");
    return 1;
  }
  const std::wstring product = d.WindowCaption();
  Say(L"Started " + program + L": \"" + product + L"\"");
  d.Click(idBtnNext);
  d.Click(idBtnNext);
  d.Type(idEditSetupDir, dest);
  Say(L"Destination: " + d.Text(idEditSetupDir) + L"   " + d.Text(idLblFreeSize));
  d.ClickNoWait(idBtnNext);
  if (!WaitFinishPage(d)) {
    Say(L"setup_tour: the installation did not reach the finish page: " + d.MessageBoxText(1000));
    return 1;
  }
  d.Settle();
  Say(L"Finish page: " + d.Text(idLblComplete) + L" (progress " +
      std::to_wstring(d.Progress(idProgressBar1)) + L")");
  d.SetCheck(idChkRunOnExit, false);
  d.ClickNoWait(idBtnNext);
  d.WaitExit();

  return Report(dest);
  return 0;
}

// The installation alone, without the program's start: the clock runs from
// the Install click until the finish page shows.
int TimeInstall(const std::wstring& program, const std::wstring& dest) {
  WizardDriver d;
  if (!d.Start(program) || d.Wizard() == nullptr) {
    Say(L"setup_tour: " + program + L" showed no wizard");
    return 1;
  }
  d.Click(idBtnNext);
  d.Click(idBtnNext);
  d.Type(idEditSetupDir, dest);
  d.Settle();
  LARGE_INTEGER frequency, start, end;
  QueryPerformanceFrequency(&frequency);
  QueryPerformanceCounter(&start);
  d.ClickNoWait(idBtnNext);
  bool finished = false;
  for (int i = 0; i < 60000 && !finished; ++i) {
    finished = d.Shown(idPnlStep4);
    if (!finished && !d.Running())
      break;
    if (!finished)
      Sleep(5);
  }
  QueryPerformanceCounter(&end);
  if (!finished) {
    Say(L"setup_tour: the installation did not reach the finish page: " + d.MessageBoxText(1000));
    return 1;
  }
  const double seconds =
      static_cast<double>(end.QuadPart - start.QuadPart) / static_cast<double>(frequency.QuadPart);
  wchar_t text[160];
  swprintf(text, 160, L"install seconds: %.3f", seconds);
  Say(text);
  // The peak so far: the installation is the program's largest work.
  PROCESS_MEMORY_COUNTERS memory{};
  memory.cb = sizeof memory;
  const HANDLE process =
      OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, d.ProcessId());
  if (process != nullptr && GetProcessMemoryInfo(process, &memory, sizeof memory)) {
    swprintf(text, 160, L"peak working set: %llu KB, peak private bytes: %llu KB",
             static_cast<unsigned long long>(memory.PeakWorkingSetSize / 1024),
             static_cast<unsigned long long>(memory.PeakPagefileUsage / 1024));
    Say(text);
  }
  if (process != nullptr)
    CloseHandle(process);
  d.Settle();
  d.SetCheck(idChkRunOnExit, false);
  d.ClickNoWait(idBtnNext);
  d.WaitExit();
  return 0;
}

struct WindowSearch {
  DWORD pid;
  bool found;
};

BOOL CALLBACK FindVisibleWindow(HWND w, LPARAM p) {
  auto* search = reinterpret_cast<WindowSearch*>(p);
  DWORD pid = 0;
  GetWindowThreadProcessId(w, &pid);
  if (pid == search->pid && IsWindowVisible(w)) {
    search->found = true;
    return FALSE;
  }
  return TRUE;
}

// Any program's start-up: from its start to its first visible top-level
// window, polled every millisecond.
int TimeStart(const std::wstring& program) {
  STARTUPINFOW si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  std::wstring cmd = L"\"" + program + L"\"";
  LARGE_INTEGER frequency, start, end;
  QueryPerformanceFrequency(&frequency);
  QueryPerformanceCounter(&start);
  if (!CreateProcessW(program.c_str(), cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                      &si, &pi)) {
    Say(L"setup_tour: cannot start " + program);
    return 1;
  }
  WindowSearch search{pi.dwProcessId, false};
  for (int i = 0; i < 60000 && !search.found; ++i) {
    EnumWindows(FindVisibleWindow, reinterpret_cast<LPARAM>(&search));
    if (!search.found && WaitForSingleObject(pi.hProcess, 1) == WAIT_OBJECT_0)
      break;
  }
  QueryPerformanceCounter(&end);
  TerminateProcess(pi.hProcess, 1);
  WaitForSingleObject(pi.hProcess, 10000);
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  if (!search.found) {
    Say(L"setup_tour: " + program + L" showed no window");
    return 1;
  }
  wchar_t text[64];
  swprintf(
      text, 64, L"start seconds: %.3f",
      static_cast<double>(end.QuadPart - start.QuadPart) / static_cast<double>(frequency.QuadPart));
  Say(text);
  return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  const std::vector<std::wstring> args(argv + 1, argv + argc);
  if (args.size() >= 3 && args[0] == L"screenshots")
    return ScreenshotsAtDpis(args[1], std::vector<std::wstring>(args.begin() + 2, args.end()));
  if (args.size() == 3 && args[0] == L"install")
    return Install(args[1], args[2]);
  if (args.size() == 3 && args[0] == L"time-install")
    return TimeInstall(args[1], args[2]);
  if (args.size() == 2 && args[0] == L"time-start")
    return TimeStart(args[1]);
  if (args.size() == 1 && args[0] == L"report")
    return Report(L"");
  std::fputs(
      "usage:\n  setup_tour screenshots OUTDIR [--dpi N]... SETUP...\n  setup_tour install SETUP "
      "DEST\n"
      "  setup_tour report\n  setup_tour time-install SETUP DEST\n  setup_tour time-start "
      "PROGRAM\n",
      stderr);
  return 2;
}
