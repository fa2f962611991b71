#include "uninst/Uninstaller.h"

#include <objbase.h>
#include <sddl.h>
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


// Native calls that Windows XP has but that the program looks up by name in
// ntdll (always loaded) rather than importing.
struct IoStatusBlock {
  union {
    LONG status;
    void* pointer;
  };
  ULONG_PTR information;
};
struct ProcessBasicInformation {
  LONG exitStatus;
  void* pebBaseAddress;
  ULONG_PTR affinityMask;
  LONG basePriority;
  ULONG_PTR uniqueProcessId;
  ULONG_PTR inheritedFromUniqueProcessId;
};
using QueryProcessFn = LONG(WINAPI*)(HANDLE, int, void*, ULONG, ULONG*);
using SetFileInformationFn = LONG(WINAPI*)(HANDLE, IoStatusBlock*, void*, ULONG, int);
const int kProcessBasicInformation = 0;
const int kFileRenameInformation = 10;
const int kFileDispositionInformation = 13;

void* NtFunction(const char* name) {
  const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  return ntdll != nullptr ? reinterpret_cast<void*>(GetProcAddress(ntdll, name)) : nullptr;
}

// The process's own id and its parent's, or 0 and 0.
ProcessBasicInformation BasicInformation(HANDLE process) {
  ProcessBasicInformation info{};
  static const auto query =
      reinterpret_cast<QueryProcessFn>(NtFunction("NtQueryInformationProcess"));
  ULONG size = 0;
  if (query == nullptr ||
      query(process, kProcessBasicInformation, &info, sizeof info, &size) < 0) {
    return ProcessBasicInformation{};
  }
  return info;
}

// Marks an open file for deletion when its handle closes (the handle needs
// DELETE access).
bool DeleteThroughHandle(HANDLE h) {
  static const auto set =
      reinterpret_cast<SetFileInformationFn>(NtFunction("NtSetInformationFile"));
  if (set == nullptr)
    return false;
  IoStatusBlock io{};
  BOOLEAN deleteFile = TRUE;
  return set(h, &io, &deleteFile, sizeof deleteFile, kFileDispositionInformation) >= 0;
}

// Renames an open file (the handle needs DELETE access), never over an
// existing one.
bool RenameThroughHandle(HANDLE h, const std::u16string& newPath) {
  static const auto set =
      reinterpret_cast<SetFileInformationFn>(NtFunction("NtSetInformationFile"));
  if (set == nullptr)
    return false;
  const std::u16string nt = u"\\??\\" + newPath;
  struct RenameInformation {
    BOOLEAN replaceIfExists;
    HANDLE rootDirectory;
    ULONG fileNameLength;
    wchar_t fileName[1];
  };
  std::vector<char> buffer(sizeof(RenameInformation) + nt.size() * sizeof(wchar_t));
  auto* info = reinterpret_cast<RenameInformation*>(buffer.data());
  info->replaceIfExists = FALSE;
  info->rootDirectory = nullptr;
  info->fileNameLength = static_cast<ULONG>(nt.size() * sizeof(wchar_t));
  std::copy(nt.begin(), nt.end(), info->fileName);
  IoStatusBlock io{};
  return set(h, &io, info, static_cast<ULONG>(buffer.size()), kFileRenameInformation) >= 0;
}

// Whether two open files are one.
bool SameOpenFile(HANDLE a, HANDLE b) {
  BY_HANDLE_FILE_INFORMATION x{}, y{};
  return GetFileInformationByHandle(a, &x) && GetFileInformationByHandle(b, &y) &&
         x.dwVolumeSerialNumber == y.dwVolumeSerialNumber && x.nFileIndexHigh == y.nFileIndexHigh &&
         x.nFileIndexLow == y.nFileIndexLow;
}

// A handle value as the command line gives it; nullptr for anything but
// digits.
HANDLE HandleFromText(const std::u16string& text) {
  const std::string digits = ToUtf8(text);
  if (digits.empty() || digits.size() > 19 ||
      digits.find_first_not_of("0123456789") != std::string::npos) {
    return nullptr;
  }
  return reinterpret_cast<HANDLE>(
      static_cast<uintptr_t>(std::strtoull(digits.c_str(), nullptr, 10)));
}

bool IsPlainFolder(DWORD attributes) {
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) &&
         !(attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

// Whether the folder of a file lies in another than the tree's top, and all
// the way down is reached without a link; a file with no top is reached.
bool Reached(PinnedTree* tree, const std::u16string& file) {
  return tree == nullptr || tree->Reaches(file);
}

// Whether this process runs with the Administrators group in its token
// (elevated, on a system that filters an administrator's token).
bool RunsAsAdministrator() {
  SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
  PSID admins = nullptr;
  if (!AllocateAndInitializeSid(&nt, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS, 0,
                                0, 0, 0, 0, 0, &admins)) {
    return false;
  }
  BOOL member = FALSE;
  const bool is = CheckTokenMembership(nullptr, admins, &member) && member;
  FreeSid(admins);
  return is;
}

// The whole of an open file from its start; empty when it cannot be read
// or exceeds limit.
std::string ReadWhole(HANDLE h, int64_t limit) {
  LARGE_INTEGER size{}, zero{};
  if (!GetFileSizeEx(h, &size) || size.QuadPart > limit ||
      !SetFilePointerEx(h, zero, nullptr, FILE_BEGIN)) {
    return {};
  }
  std::string bytes(static_cast<size_t>(size.QuadPart), '\0');
  size_t at = 0;
  while (at < bytes.size()) {
    DWORD got = 0;
    const DWORD want = static_cast<DWORD>(std::min<size_t>(bytes.size() - at, 1u << 20));
    if (!ReadFile(h, bytes.data() + at, want, &got, nullptr) || got == 0)
      return {};
    at += got;
  }
  return bytes;
}

// The target a shortcut's bytes name; empty when they name none.
std::u16string ShortcutTargetOf(const std::string& bytes) {
  if (bytes.empty())
    return {};
  ComPtr<IStream> stream;
  if (FAILED(CreateStreamOnHGlobal(nullptr, TRUE, stream.GetAddressOf())) ||
      FAILED(stream->Write(bytes.data(), static_cast<ULONG>(bytes.size()), nullptr))) {
    return {};
  }
  LARGE_INTEGER zero{};
  stream->Seek(zero, STREAM_SEEK_SET, nullptr);
  ComPtr<IShellLinkW> link;
  ComPtr<IPersistStream> persist;
  if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                              reinterpret_cast<void**>(link.GetAddressOf()))) ||
      FAILED(link.As(&persist)) || FAILED(persist->Load(stream.Get()))) {
    return {};
  }
  wchar_t buffer[MAX_PATH] = {};
  if (FAILED(link->GetPath(buffer, MAX_PATH, nullptr, SLGP_UNCPRIORITY)))
    return {};
  return UpToNul(buffer, MAX_PATH);
}

// An inheritable duplicate of h whose value lies above that of another
// handle (a process that ends closes its handles in the order of their
// values); nullptr when none can be had.
HANDLE DuplicateAbove(HANDLE h, HANDLE above) {
  std::vector<HANDLE> below;
  HANDLE result = nullptr;
  for (int i = 0; i < 64; ++i) {
    HANDLE d = nullptr;
    if (!DuplicateHandle(GetCurrentProcess(), h, GetCurrentProcess(), &d, 0, TRUE,
                         DUPLICATE_SAME_ACCESS)) {
      break;
    }
    if (reinterpret_cast<uintptr_t>(d) > reinterpret_cast<uintptr_t>(above)) {
      result = d;
      break;
    }
    below.push_back(d);
  }
  for (HANDLE d : below)
    CloseHandle(d);
  return result;
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

PinnedTree::PinnedTree(std::u16string top) : top_(std::move(top)) {}

PinnedTree::~PinnedTree() {
  for (auto& [path, h] : held_)
    CloseHandle(h);
}

bool PinnedTree::Reaches(const std::u16string& path) {
  if (!LiesIn(path, top_))
    return false;
  for (size_t cut = path.find(u'\\', top_.size()); cut != std::u16string::npos;
       cut = path.find(u'\\', cut + 1)) {
    const std::u16string folder = path.substr(0, cut);
    if (std::any_of(held_.begin(), held_.end(),
                    [&](const auto& held) { return SamePath(held.first, folder); })) {
      continue;
    }
    // The folder above is held, so this name cannot change from a plain
    // folder into a link between the look and the opening, and the opening
    // does not follow a link either.
    if (!IsPlainFolder(GetFileAttributesW(W(folder))))
      return false;
    const HANDLE h = CreateFileW(W(folder), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                 nullptr, OPEN_EXISTING,
                                 FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (h == INVALID_HANDLE_VALUE)
      return false;
    BY_HANDLE_FILE_INFORMATION info{};
    if (!GetFileInformationByHandle(h, &info) || !IsPlainFolder(info.dwFileAttributes)) {
      CloseHandle(h);
      return false;
    }
    held_.emplace_back(folder, h);
  }
  return true;
}

void PinnedTree::Release(const std::u16string& folder) {
  std::u16string f = folder;
  if (!f.empty() && f.back() == u'\\')
    f.pop_back();
  for (auto it = held_.begin(); it != held_.end(); ++it) {
    if (SamePath(it->first, f)) {
      CloseHandle(it->second);
      held_.erase(it);
      return;
    }
  }
}

bool IsLink(const std::u16string& path) {
  const DWORD attributes = GetFileAttributesW(W(path));
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

std::optional<TBlockedFile> FindBlockedFile(const std::vector<std::u16string>& files,
                                            const std::u16string& top) {
  std::optional<PinnedTree> tree;
  if (!top.empty())
    tree.emplace(top);
  for (const std::u16string& f : files) {
    const DWORD attributes = GetFileAttributesW(W(f));
    if (attributes == INVALID_FILE_ATTRIBUTES ||
        (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) ||
        !Reached(tree ? &*tree : nullptr, f)) {
      continue;
    }
    // Deleting needs every other handle to share deletion; asking for write
    // access too catches a running program, whose image cannot be written
    // (a read-only file cannot be opened for writing, so not for it).
    const DWORD access = DELETE | ((attributes & FILE_ATTRIBUTE_READONLY) ? 0 : FILE_WRITE_DATA);
    const HANDLE h =
        CreateFileW(W(f), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                    OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
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

std::optional<TBlockedFile> DeleteFiles(const std::vector<std::u16string>& files,
                                        const std::u16string& top) {
  std::optional<PinnedTree> tree;
  if (!top.empty())
    tree.emplace(top);
  for (const std::u16string& f : files) {
    // The folders on the way stay held while the file goes: none can be
    // swapped for a link meanwhile.
    if (!Reached(tree ? &*tree : nullptr, f))
      continue;
    const DWORD attributes = GetFileAttributesW(W(f));
    if (attributes == INVALID_FILE_ATTRIBUTES ||
        (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT))) {
      continue;
    }
    if (attributes & FILE_ATTRIBUTE_READONLY)
      SetFileAttributesW(W(f), attributes & ~FILE_ATTRIBUTE_READONLY);
    // DeleteFileW removes a link itself, never what it points to.
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

bool DeleteOwnShortcut(const std::u16string& linkFile, const std::u16string& destDir) {
  if (IsLink(linkFile))
    return false;
  // Held open, denying others write and delete access, from the reading to
  // the deletion: what was read is what goes.
  const HANDLE h = CreateFileW(W(linkFile), GENERIC_READ | DELETE | FILE_WRITE_ATTRIBUTES,
                               FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                               FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (h == INVALID_HANDLE_VALUE)
    return false;
  BY_HANDLE_FILE_INFORMATION info{};
  bool deleted = false;
  if (GetFileInformationByHandle(h, &info) &&
      !(info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) &&
      !IsLink(linkFile) && LiesIn(ShortcutTargetOf(ReadWhole(h, 1 << 20)), destDir)) {
    if (info.dwFileAttributes & FILE_ATTRIBUTE_READONLY)
      SetFileAttributesW(W(linkFile), info.dwFileAttributes & ~FILE_ATTRIBUTE_READONLY);
    deleted = DeleteThroughHandle(h);
    if (!deleted && (info.dwFileAttributes & FILE_ATTRIBUTE_READONLY))
      SetFileAttributesW(W(linkFile), info.dwFileAttributes);
  }
  CloseHandle(h);
  return deleted;
}

void RemoveEmptyFolders(const std::vector<std::u16string>& folders, const std::u16string& top) {
  PinnedTree tree(top);
  for (const std::u16string& f : folders) {
    // The folders above stay held; the folder itself is let go to be removed.
    if (!tree.Reaches(f))
      continue;
    tree.Release(f);
    if (!IsLink(f))
      RemoveDirectoryW(W(f));  // fails, as it should, while anything is left inside
  }
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
  std::optional<TBlockedFile> blocked = FindBlockedFile(plan.files, inst->destDir);
  // The shortcuts are read before their targets go.
  const std::vector<std::u16string> shortcuts = OwnShortcuts(inst->keyName, inst->destDir);
  if (!blocked)
    blocked = DeleteFiles(plan.files, inst->destDir);
  if (blocked) {
    tell(texts.caption,
         FileInUseText(zh, inst->displayName, blocked->path, SystemErrorText(blocked->error)),
         true);
    return kFileInUse;
  }
  for (const std::u16string& link : shortcuts)
    DeleteOwnShortcut(link, inst->destDir);
  // Through the system directory: the removal copy runs from the temporary
  // folder, where anything may lie beside it.
  using DeleteKeyFn = LSTATUS(WINAPI*)(HKEY, LPCWSTR);
  static const auto deleteKey = SystemFunctionAs<DeleteKeyFn>(L"shlwapi.dll", "SHDeleteKeyW");
  const LSTATUS s = deleteKey != nullptr ? deleteKey(HKEY_LOCAL_MACHINE, W(inst->keyPath))
                                         : static_cast<LSTATUS>(ERROR_PROC_NOT_FOUND);
  RemoveEmptyFolders(plan.folders, inst->destDir);
  if (s != ERROR_SUCCESS && !Gone(static_cast<DWORD>(s))) {
    tell(texts.caption, KeyKeptText(zh, inst->displayName, SystemErrorText(static_cast<DWORD>(s))),
         true);
    return kKeyKept;
  }
  tell(texts.caption, texts.done, false);
  return kRemoved;
}

std::u16string RandomName() {
  unsigned char bytes[16] = {};
  bool have = false;
  // RtlGenRandom, exported by advapi32 since Windows XP under this name.
  using GenRandomFn = BOOLEAN(WINAPI*)(void*, ULONG);
  const HMODULE advapi = GetModuleHandleW(L"advapi32.dll");
  if (const auto gen = advapi != nullptr ? reinterpret_cast<GenRandomFn>(reinterpret_cast<void*>(
                                               GetProcAddress(advapi, "SystemFunction036")))
                                         : nullptr) {
    have = gen(bytes, sizeof bytes) != FALSE;
  }
  if (!have) {
    using BCryptGenRandomFn = LONG(WINAPI*)(void*, unsigned char*, ULONG, ULONG);
    const auto gen = SystemFunctionAs<BCryptGenRandomFn>(L"bcrypt.dll", "BCryptGenRandom");
    have = gen != nullptr && gen(nullptr, bytes, sizeof bytes, 2 /* the system's generator */) >= 0;
  }
  if (!have)
    return {};
  static const char16_t kHex[] = u"0123456789abcdef";
  std::u16string name;
  for (unsigned char b : bytes) {
    name += kHex[b >> 4];
    name += kHex[b & 15];
  }
  return name;
}

void TRemovalCopy::Close() {
  // The file first, so that the folder is empty when its handle closes.
  if (file != INVALID_HANDLE_VALUE)
    CloseHandle(file);
  if (folderHandle != INVALID_HANDLE_VALUE)
    CloseHandle(folderHandle);
  file = folderHandle = INVALID_HANDLE_VALUE;
}

bool MakeRemovalCopy(const std::u16string& programPath, const std::u16string& folder,
                     TRemovalCopy& copy) {
  copy = TRemovalCopy{};
  copy.folder = folder;
  copy.path = folder + u"Uninst.exe";
  std::string bytes;
  {
    const HANDLE h = CreateFileW(W(programPath), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE,
                                 nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE)
      return false;
    bytes = ReadWhole(h, 256 << 20);
    CloseHandle(h);
    if (bytes.empty())
      return false;
  }
  // A new folder, never one that exists: an elevated run lets only
  // Administrators and SYSTEM in, so that no other program of the user can
  // write there.
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  SECURITY_ATTRIBUTES attributes{sizeof attributes, nullptr, FALSE};
  if (RunsAsAdministrator()) {
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(
            L"D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)", SDDL_REVISION_1, &descriptor, nullptr)) {
      return false;
    }
    attributes.lpSecurityDescriptor = descriptor;
  }
  const bool made = CreateDirectoryW(W(folder), &attributes) != FALSE;
  if (descriptor != nullptr)
    LocalFree(descriptor);
  if (!made)
    return false;
  // Held from now on, denying deletion: the folder cannot be renamed or
  // replaced, and goes when the last handle to it closes (opened while it is
  // empty, as a folder to be deleted on close must be).
  const HANDLE folderHandle =
      CreateFileW(W(folder), DELETE | FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE,
                  nullptr, OPEN_EXISTING,
                  FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT |
                      FILE_FLAG_DELETE_ON_CLOSE,
                  nullptr);
  if (folderHandle == INVALID_HANDLE_VALUE) {
    RemoveDirectoryW(W(folder));
    return false;
  }
  // A new file, never an existing one overwritten.
  const HANDLE out = CreateFileW(W(copy.path), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                 FILE_ATTRIBUTE_NORMAL, nullptr);
  if (out == INVALID_HANDLE_VALUE) {
    CloseHandle(folderHandle);
    return false;
  }
  DWORD written = 0;
  const bool wrote = WriteFile(out, bytes.data(), static_cast<DWORD>(bytes.size()), &written,
                               nullptr) &&
                     written == bytes.size();
  CloseHandle(out);
  // Open for reading only, denying others write and delete access (so also
  // renaming) until the copy has ended; the copy inherits the handle and the
  // file goes when it closes. What it holds is checked through that handle.
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  if (wrote) {
    copy.file = CreateFileW(W(copy.path), GENERIC_READ | DELETE, FILE_SHARE_READ, &inherit,
                            OPEN_EXISTING, FILE_FLAG_DELETE_ON_CLOSE, nullptr);
  }
  // The folder's handle above the file's, so that a process ending closes
  // the file's first.
  if (copy.file != INVALID_HANDLE_VALUE && ReadWhole(copy.file, 256 << 20) == bytes) {
    const HANDLE above = DuplicateAbove(folderHandle, copy.file);
    if (above != nullptr)
      copy.folderHandle = above;
  }
  CloseHandle(folderHandle);
  if (copy.folderHandle == INVALID_HANDLE_VALUE) {
    if (copy.file == INVALID_HANDLE_VALUE)
      DeleteFileW(W(copy.path));
    copy.Close();  // the file goes, then the folder (its last handle was closed above)
    RemoveDirectoryW(W(folder));
    return false;
  }
  return true;
}

void StartSelfRemoval(const std::u16string& programPath) {
  const std::u16string temp = TempFolder();
  const std::u16string name = RandomName();
  TRemovalCopy copy;
  bool started = false;
  HANDLE self = nullptr;
  if (!temp.empty() && !name.empty() &&
      MakeRemovalCopy(programPath, temp + u"Uninst-" + name + u"\\", copy) &&
      DuplicateHandle(GetCurrentProcess(), GetCurrentProcess(), GetCurrentProcess(), &self,
                      SYNCHRONIZE | PROCESS_QUERY_INFORMATION, TRUE, 0)) {
    auto text = [](HANDLE h) {
      return IntToText(static_cast<int64_t>(reinterpret_cast<uintptr_t>(h)));
    };
    std::u16string commandLine = u"\"" + copy.path + u"\" " + kRemovalSwitch + u" " + text(self) +
                                 u" " + text(copy.file) + u" \"" + programPath + u"\"";
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    started = CreateProcessW(W(copy.path), const_cast<wchar_t*>(W(commandLine)), nullptr, nullptr,
                             TRUE, 0, nullptr, W(temp), &si, &pi) != FALSE;
    if (started) {
      CloseHandle(pi.hThread);
      CloseHandle(pi.hProcess);
    }
  }
  if (self != nullptr)
    CloseHandle(self);
  copy.Close();
  if (!started) {
    DeleteAtRestart(programPath);
    DeleteAtRestart(ExtractFileDir(programPath));
  }
}

int FinishSelfRemoval(const std::u16string& copyPath, const std::u16string& waitHandle,
                      const std::u16string& fileHandle, const std::u16string& originalPath) {
  // Only the process that started this one hands over a handle to itself:
  // the handle's process must be this process's parent. While the handle is
  // open that process's id cannot go to another.
  const HANDLE process = HandleFromText(waitHandle);
  const ULONG_PTR parent = BasicInformation(GetCurrentProcess()).inheritedFromUniqueProcessId;
  if (process == nullptr || parent == 0 || BasicInformation(process).uniqueProcessId != parent)
    return kUsage;
  // The handle that holds this copy and deletes it on closing: the copy
  // moves out of its folder beside it, so that the folder is empty and goes
  // when its own handle closes, as this process ends. Once running, the
  // copy's file no longer matters.
  std::u16string copy = copyPath;
  const HANDLE file = HandleFromText(fileHandle);
  const std::u16string folder = ExtractFileDir(copyPath);
  if (file != nullptr && folder.size() > 1) {
    const HANDLE self = CreateFileW(W(copyPath), FILE_READ_ATTRIBUTES,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, 0, nullptr);
    const std::u16string moved = folder.substr(0, folder.size() - 1) + u".exe";
    if (self != INVALID_HANDLE_VALUE && SameOpenFile(self, file) &&
        RenameThroughHandle(file, moved)) {
      copy = moved;
    }
    if (self != INVALID_HANDLE_VALUE)
      CloseHandle(self);
  }
  WaitForSingleObject(process, 60000);
  CloseHandle(process);
  // Only the program this is a copy of.
  if (lstrcmpiW(W(ExtractFileName(originalPath)), L"Uninst.exe") == 0 &&
      SameContent(originalPath, copy)) {
    bool deleted = false;
    for (int i = 0; i < 100 && !deleted; ++i) {
      deleted = DeleteFileW(W(originalPath)) || Gone(GetLastError());
      if (!deleted)
        Sleep(100);
    }
    const std::u16string destination = ExtractFileDir(originalPath);
    if (deleted) {
      RemoveDirectoryW(W(destination));
    } else {
      DeleteAtRestart(originalPath);
      DeleteAtRestart(destination);
    }
  }
  // Should the handles that delete them on closing fail to.
  const std::u16string temp = TempFolder();
  if (!temp.empty() && LiesIn(copyPath, temp)) {
    DeleteAtRestart(copy);
    DeleteAtRestart(folder);
  }
  return kRemoved;
}
