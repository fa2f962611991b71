#include "uninst/Uninstaller.h"

#include <objbase.h>
#include <shlobj.h>
#include <shlwapi.h>
#include <wrl/client.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "common/Errors.h"
#include "common/Text.h"
#include "shell/Hardening.h"
#include "shell/NvSysUtils.h"
#include "shell/Win32Util.h"

using Microsoft::WRL::ComPtr;

namespace {

const char16_t kShellFolders[] =
    u"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
// The hand-over to the copy in the temporary folder goes through its
// environment, so that Uninst.exe keeps a command line of /S only.
const wchar_t kOriginalVariable[] = L"NVUNINST_ORIGINAL";
const wchar_t kWaitVariable[] = L"NVUNINST_WAIT_FOR";

std::u16string Unquoted(std::u16string s) {
  while (!s.empty() && s.back() == u' ')
    s.pop_back();
  if (s.size() >= 2 && s.front() == u'"' && s.back() == u'"')
    s = s.substr(1, s.size() - 2);
  return s;
}

std::u16string LongPath(const std::u16string& path) {
  wchar_t buffer[MAX_PATH * 2] = {};
  const DWORD n = GetLongPathNameW(W(path), buffer, MAX_PATH * 2);
  return n > 0 && n < MAX_PATH * 2 ? UpToNul(buffer, n) : path;
}

// Windows' own comparison, which folds letter case beyond ASCII too.
bool SameFile(const std::u16string& a, const std::u16string& b) {
  if (lstrcmpiW(W(a), W(b)) == 0)
    return true;
  return lstrcmpiW(W(LongPath(a)), W(LongPath(b))) == 0;
}

// A text value of a key below HKEY_LOCAL_MACHINE, read with read access
// alone, which every user has there (the shell layer's reading asks for full
// access, which only administrators get); empty when it cannot be had or is
// no text.
std::u16string ReadValue(const std::u16string& key, const std::u16string& name) {
  RegKey k;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, W(key), 0, KEY_QUERY_VALUE, k.Out()) != ERROR_SUCCESS)
    return {};
  DWORD type = 0, size = 0;
  if (RegQueryValueExW(k.get(), W(name), nullptr, &type, nullptr, &size) != ERROR_SUCCESS ||
      (type != REG_SZ && type != REG_EXPAND_SZ) || size == 0) {
    return {};
  }
  std::vector<wchar_t> buffer(size / sizeof(wchar_t) + 2, 0);
  DWORD got = size;
  if (RegQueryValueExW(k.get(), W(name), nullptr, &type, reinterpret_cast<BYTE*>(buffer.data()),
                       &got) != ERROR_SUCCESS) {
    return {};
  }
  return UpToNul(buffer.data(), got / sizeof(wchar_t));
}

bool Exists(const std::u16string& path) {
  return GetFileAttributesW(W(path)) != INVALID_FILE_ATTRIBUTES;
}

bool Gone(DWORD error) {
  return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

std::u16string TempFolder() {
  wchar_t buffer[MAX_PATH + 1] = {};
  const DWORD n = GetTempPathW(MAX_PATH + 1, buffer);
  return n > 0 && n <= MAX_PATH ? UpToNul(buffer, n) : std::u16string();
}

std::u16string Environment(const wchar_t* name) {
  wchar_t buffer[MAX_PATH * 2] = {};
  const DWORD n = GetEnvironmentVariableW(name, buffer, MAX_PATH * 2);
  return n > 0 && n < MAX_PATH * 2 ? UpToNul(buffer, n) : std::u16string();
}

// A file open for reading through the system's calls (the program reads
// itself with these, not with the portable file layer, to stay small).
class ReadOnlyFile {
 public:
  explicit ReadOnlyFile(const std::u16string& path)
      : path_(path),
        h_(CreateFileW(W(path), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                       OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr)) {}
  ~ReadOnlyFile() {
    if (h_ != INVALID_HANDLE_VALUE)
      CloseHandle(h_);
  }
  ReadOnlyFile(const ReadOnlyFile&) = delete;
  ReadOnlyFile& operator=(const ReadOnlyFile&) = delete;

  bool IsOpen() const { return h_ != INVALID_HANDLE_VALUE; }
  int64_t Size() const {
    LARGE_INTEGER size{};
    return IsOpen() && GetFileSizeEx(h_, &size) ? size.QuadPart : -1;
  }
  // Exactly count bytes from offset; false when they cannot be had.
  bool ReadAt(int64_t offset, char* buffer, size_t count) {
    LARGE_INTEGER at{};
    at.QuadPart = offset;
    if (!IsOpen() || !SetFilePointerEx(h_, at, nullptr, FILE_BEGIN))
      return false;
    while (count > 0) {
      DWORD got = 0;
      const DWORD want = static_cast<DWORD>(count < (1u << 20) ? count : (1u << 20));
      if (!ReadFile(h_, buffer, want, &got, nullptr) || got == 0)
        return false;
      buffer += got;
      count -= got;
    }
    return true;
  }
  const std::u16string& Path() const { return path_; }

 private:
  std::u16string path_;
  HANDLE h_;
};

std::vector<TUninstallRow> ReadOwnList(const std::u16string& programPath) {
  ReadOnlyFile file(programPath);
  if (!file.IsOpen()) {
    throw FileError(u"cannot open " + programPath + u": " + SystemErrorText(GetLastError()));
  }
  return ReadUninstallList(
      file.Size(),
      [&](int64_t offset, char* buffer, size_t count) {
        if (!file.ReadAt(offset, buffer, count))
          throw FileError(u"cannot read " + programPath);
      },
      programPath);
}

// Whether two files hold the same bytes.
bool SameContent(const std::u16string& a, const std::u16string& b) {
  ReadOnlyFile fa(a), fb(b);
  const int64_t size = fa.Size();
  if (size < 0 || size != fb.Size())
    return false;
  std::string ba(64 * 1024, '\0'), bb(64 * 1024, '\0');
  for (int64_t at = 0; at < size; at += static_cast<int64_t>(ba.size())) {
    const size_t n = static_cast<size_t>(std::min<int64_t>(size - at, ba.size()));
    if (!fa.ReadAt(at, ba.data(), n) || !fb.ReadAt(at, bb.data(), n) ||
        ba.compare(0, n, bb, 0, n) != 0) {
      return false;
    }
  }
  return true;
}

void DeleteAtRestart(const std::u16string& path) {
  MoveFileExW(W(path), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
}

}  // namespace

std::optional<TInstallation> FindInstallation(const std::u16string& programPath) {
  RegKey root;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, W(std::u16string(kUninstallRoot)), 0, KEY_READ,
                    root.Out()) != ERROR_SUCCESS) {
    return std::nullopt;
  }
  for (DWORD i = 0;; ++i) {
    wchar_t name[256] = {};
    DWORD size = 256;
    const LSTATUS s = RegEnumKeyExW(root.get(), i, name, &size, nullptr, nullptr, nullptr, nullptr);
    if (s == ERROR_NO_MORE_ITEMS)
      break;
    if (s != ERROR_SUCCESS)
      continue;
    TInstallation inst;
    inst.keyName = UpToNul(name, size);
    inst.keyPath = std::u16string(kUninstallRoot) + u"\\" + inst.keyName;
    const std::u16string command = Unquoted(ReadValue(inst.keyPath, u"UninstallString"));
    if (command.empty() || !SameFile(command, programPath))
      continue;
    inst.destDir = ExtractFileDir(programPath);
    inst.displayName = ReadValue(inst.keyPath, u"DisplayName");
    if (inst.displayName.empty())
      inst.displayName = inst.keyName;
    inst.displayVersion = ReadValue(inst.keyPath, u"DisplayVersion");
    inst.chinese = IsChinesePublisher(ReadValue(inst.keyPath, u"Publisher"));
    return inst;
  }
  return std::nullopt;
}

LSTATUS OpenKeyForDeletion(const std::u16string& keyPath) {
  // What deleting the key and whatever lies below it needs, and the right to
  // write it as well: Administrators and SYSTEM hold both, other users
  // neither, and a system that does not check DELETE on keys (Wine) still
  // checks the write access.
  RegKey key;
  return RegOpenKeyExW(HKEY_LOCAL_MACHINE, W(keyPath), 0,
                       DELETE | KEY_ENUMERATE_SUB_KEYS | KEY_QUERY_VALUE | KEY_SET_VALUE,
                       key.Out());
}

std::optional<TBlockedFile> FindBlockedFile(const std::vector<std::u16string>& files) {
  for (const std::u16string& f : files) {
    const DWORD attributes = GetFileAttributesW(W(f));
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY))
      continue;
    // Deleting needs every other handle to share deletion; asking for write
    // access too catches a running program, whose image cannot be written
    // (a read-only file cannot be opened for writing, so not for it).
    const DWORD access = DELETE | ((attributes & FILE_ATTRIBUTE_READONLY) ? 0 : FILE_WRITE_DATA);
    const HANDLE h =
        CreateFileW(W(f), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
      const DWORD error = GetLastError();
      if (!Gone(error))
        return TBlockedFile{f, error};
      continue;
    }
    CloseHandle(h);
  }
  return std::nullopt;
}

std::optional<TBlockedFile> DeleteFiles(const std::vector<std::u16string>& files) {
  for (const std::u16string& f : files) {
    const DWORD attributes = GetFileAttributesW(W(f));
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY))
      continue;
    if (attributes & FILE_ATTRIBUTE_READONLY)
      SetFileAttributesW(W(f), attributes & ~FILE_ATTRIBUTE_READONLY);
    if (!DeleteFileW(W(f))) {
      const DWORD error = GetLastError();
      if (Gone(error))
        continue;
      SetFileAttributesW(W(f), attributes);
      return TBlockedFile{f, error};
    }
  }
  return std::nullopt;
}

std::u16string ShortcutTarget(const std::u16string& linkFile) {
  ComPtr<IShellLinkW> link;
  if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                              reinterpret_cast<void**>(link.GetAddressOf())))) {
    return {};
  }
  ComPtr<IPersistFile> file;
  if (FAILED(link.As(&file)) || FAILED(file->Load(W(linkFile), STGM_READ)))
    return {};
  // No Resolve: the target may be gone already, and looking for it could
  // show the shell's search window.
  wchar_t buffer[MAX_PATH] = {};
  if (FAILED(link->GetPath(buffer, MAX_PATH, nullptr, SLGP_UNCPRIORITY)))
    return {};
  return UpToNul(buffer, MAX_PATH);
}

std::vector<std::u16string> OwnShortcuts(const std::u16string& name,
                                         const std::u16string& destDir) {
  std::vector<std::u16string> folders;
  try {
    folders.push_back(GetShellFolder(0));
    const std::u16string quick = GetShellFolder(1);
    if (!quick.empty() && quick[0] != u'\\')  // no AppData folder: no Quick Launch
      folders.push_back(quick);
    folders.push_back(RegReadText(HKEY_LOCAL_MACHINE, kShellFolders, u"Common Desktop"));
  } catch (const RegistryError&) {
  }
  std::vector<std::u16string> links;
  for (const std::u16string& folder : folders) {
    if (folder.empty())
      continue;
    const std::u16string link = folder + u"\\" + name + u".lnk";
    if (!Exists(link) || !LiesIn(ShortcutTarget(link), destDir))
      continue;
    bool seen = false;
    for (const auto& l : links)
      seen |= SameFile(l, link);
    if (!seen)
      links.push_back(link);
  }
  return links;
}

void RemoveEmptyFolders(const std::vector<std::u16string>& folders) {
  for (const std::u16string& f : folders)
    RemoveDirectoryW(W(f));  // fails, as it should, while anything is left inside
}

int Uninstall(const std::u16string& programPath, bool silent, const TUserInterface& ui) {
  auto tell = [&](const std::u16string& caption, const std::u16string& text, bool problem) {
    if (!silent && ui.tell)
      ui.tell(caption, text, problem);
  };
  const bool systemChinese = GetACP() == 936;
  const std::optional<TInstallation> inst = FindInstallation(programPath);
  if (!inst) {
    tell(PlainCaption(systemChinese), NotInstalledText(systemChinese, programPath), true);
    return kNotInstalled;
  }
  const bool zh = inst->chinese;
  const TUninstallTexts texts = MakeUninstallTexts(zh, inst->displayName, inst->displayVersion);
  // Found with read access, which every user has; a run without the rights
  // to remove it changes nothing and says so.
  if (OpenKeyForDeletion(inst->keyPath) == ERROR_ACCESS_DENIED) {
    tell(texts.caption, NeedsAdministratorText(zh, inst->displayName), true);
    return kNeedsAdministrator;
  }
  TRemovalPlan plan;
  try {
    plan = PlanRemoval(ReadOwnList(programPath), inst->destDir, programPath);
    // The running program goes last, by its copy, whatever the letter case
    // its listed name has.
    std::erase_if(plan.files, [&](const std::u16string& f) { return SameFile(f, programPath); });
  } catch (const Error& e) {
    tell(texts.caption, NoListText(zh, e.Message()), true);
    return kNoList;
  }
  if (!silent && !(ui.ask && ui.ask(texts.caption, texts.question)))
    return kCancelled;

  // Nothing is touched while any file is held: the user closes the program
  // and runs the uninstaller again.
  std::optional<TBlockedFile> blocked = FindBlockedFile(plan.files);
  // The shortcuts are read before their targets go.
  const std::vector<std::u16string> shortcuts = OwnShortcuts(inst->keyName, inst->destDir);
  if (!blocked)
    blocked = DeleteFiles(plan.files);
  if (blocked) {
    tell(texts.caption,
         FileInUseText(zh, inst->displayName, blocked->path, SystemErrorText(blocked->error)),
         true);
    return kFileInUse;
  }
  DeleteFiles(shortcuts);
  // Through the system directory: the removal copy runs from the temporary
  // folder, where anything may lie beside it.
  using DeleteKeyFn = LSTATUS(WINAPI*)(HKEY, LPCWSTR);
  static const auto deleteKey = SystemFunctionAs<DeleteKeyFn>(L"shlwapi.dll", "SHDeleteKeyW");
  const LSTATUS s = deleteKey != nullptr ? deleteKey(HKEY_LOCAL_MACHINE, W(inst->keyPath))
                                         : static_cast<LSTATUS>(ERROR_PROC_NOT_FOUND);
  RemoveEmptyFolders(plan.folders);
  if (s != ERROR_SUCCESS && !Gone(static_cast<DWORD>(s))) {
    tell(texts.caption, KeyKeptText(zh, inst->displayName, SystemErrorText(static_cast<DWORD>(s))),
         true);
    return kKeyKept;
  }
  tell(texts.caption, texts.done, false);
  return kRemoved;
}

void StartSelfRemoval(const std::u16string& programPath) {
  const std::u16string temp = TempFolder();
  const std::u16string copy = temp + u"Uninst-" + IntToText(GetCurrentProcessId()) + u"-" +
                              IntToText(GetTickCount()) + u".exe";
  HANDLE self = nullptr;
  bool started = false;
  // The copy is held open for deletion when the last handle to it closes:
  // the copy inherits that handle, so it goes when the copy has ended.
  HANDLE deleteOnClose = INVALID_HANDLE_VALUE;
  if (!temp.empty() && CopyFileW(W(programPath), W(copy), FALSE)) {
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    deleteOnClose = CreateFileW(W(copy), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE,
                                &inherit, OPEN_EXISTING, FILE_FLAG_DELETE_ON_CLOSE, nullptr);
  }
  if (!temp.empty() && GetFileAttributesW(W(copy)) != INVALID_FILE_ATTRIBUTES &&
      DuplicateHandle(GetCurrentProcess(), GetCurrentProcess(), GetCurrentProcess(), &self,
                      SYNCHRONIZE, TRUE, 0)) {
    SetEnvironmentVariableW(kOriginalVariable, W(programPath));
    SetEnvironmentVariableW(kWaitVariable,
                            W(IntToText(static_cast<int64_t>(reinterpret_cast<uintptr_t>(self)))));
    std::u16string commandLine = u"\"" + copy + u"\"";
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    started = CreateProcessW(W(copy), const_cast<wchar_t*>(W(commandLine)), nullptr, nullptr, TRUE,
                             0, nullptr, W(temp), &si, &pi) != FALSE;
    if (started) {
      CloseHandle(pi.hThread);
      CloseHandle(pi.hProcess);
    }
    SetEnvironmentVariableW(kOriginalVariable, nullptr);
    SetEnvironmentVariableW(kWaitVariable, nullptr);
  }
  if (self != nullptr)
    CloseHandle(self);
  if (deleteOnClose != INVALID_HANDLE_VALUE)
    CloseHandle(deleteOnClose);
  if (!started) {
    DeleteFileW(W(copy));
    DeleteAtRestart(programPath);
    DeleteAtRestart(ExtractFileDir(programPath));
  }
}

bool IsRemovalCopy() {
  return !Environment(kOriginalVariable).empty();
}

int FinishSelfRemoval(const std::u16string& copyPath) {
  const std::u16string original = Environment(kOriginalVariable);
  const std::u16string waitFor = Environment(kWaitVariable);
  SetEnvironmentVariableW(kOriginalVariable, nullptr);
  SetEnvironmentVariableW(kWaitVariable, nullptr);
  const HANDLE process = reinterpret_cast<HANDLE>(
      static_cast<uintptr_t>(std::strtoull(ToUtf8(waitFor).c_str(), nullptr, 10)));
  if (process != nullptr) {
    WaitForSingleObject(process, 60000);
    CloseHandle(process);
  }
  // Only the program this is a copy of: the environment alone must not be
  // able to point it at another file.
  if (!original.empty() && lstrcmpiW(W(ExtractFileName(original)), L"Uninst.exe") == 0) {
    if (SameContent(original, copyPath)) {
      bool deleted = false;
      for (int i = 0; i < 100 && !deleted; ++i) {
        deleted = DeleteFileW(W(original)) || Gone(GetLastError());
        if (!deleted)
          Sleep(100);
      }
      const std::u16string folder = ExtractFileDir(original);
      if (deleted) {
        RemoveDirectoryW(W(folder));
      } else {
        DeleteAtRestart(original);
        DeleteAtRestart(folder);
      }
    }
  }
  DeleteAtRestart(copyPath);
  return 0;
}
