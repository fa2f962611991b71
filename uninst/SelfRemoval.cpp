#include "uninst/SelfRemoval.h"

#include <sddl.h>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "common/Errors.h"
#include "common/Text.h"
#include "fs/File.h"
#include "shell/NvSysUtils.h"
#include "shell/Win32Util.h"
#include "uninst/CheckedStart.h"
#include "uninst/ExitCodes.h"
#include "uninst/ReadFile.h"
#include "uninst/RemoveFiles.h"
#include "uninst/UninstallRules.h"
#include "win/Api.h"
#include "win/FolderTree.h"
#include "win/Handle.h"
#include "win/Security.h"

namespace {

struct ProcessBasicInformation {
  LONG exitStatus;
  void* pebBaseAddress;
  ULONG_PTR affinityMask;
  LONG basePriority;
  ULONG_PTR uniqueProcessId;
  ULONG_PTR inheritedFromUniqueProcessId;
};
const int kProcessBasicInformation = 0;

std::u16string TempFolder() {
  wchar_t buffer[MAX_PATH + 1] = {};
  const DWORD n = GetTempPathW(MAX_PATH + 1, buffer);
  return n > 0 && n <= MAX_PATH ? UpToNul(buffer, n) : std::u16string();
}

// The Windows folder's Temp, of the system rather than of a user's session.
std::u16string WindowsTemp() {
  wchar_t buffer[MAX_PATH] = {};
  const UINT n = GetSystemWindowsDirectoryW(buffer, MAX_PATH);
  return n > 0 && n < MAX_PATH ? UpToNul(buffer, n) + u"\\Temp\\" : std::u16string();
}

// The process's own id and its parent's, or 0 and 0.
ProcessBasicInformation BasicInformation(HANDLE process) {
  ProcessBasicInformation info{};
  const auto query = win::Api<win::Fn::NtQueryInformationProcess>();
  ULONG size = 0;
  if (query == nullptr || query(process, kProcessBasicInformation, &info, sizeof info, &size) < 0) {
    return ProcessBasicInformation{};
  }
  return info;
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

// Whether this process runs with the Administrators group in its token
// (elevated, on a system that filters an administrator's token).
bool RunsAsAdministrator() {
  SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
  PSID admins = nullptr;
  if (!AllocateAndInitializeSid(&nt, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS, 0, 0,
                                0, 0, 0, 0, &admins)) {
    return false;
  }
  BOOL member = FALSE;
  const bool is = CheckTokenMembership(nullptr, admins, &member) && member;
  FreeSid(admins);
  return is;
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

// Whether anyone but the administrators may rename or delete the open
// folder or what lies in it, or change its permissions (adding files is
// allowed: the Windows folder's Temp lets every user do that).
bool OthersMayChange(HANDLE folder) {
  const SECURITY_INFORMATION what = OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION;
  DWORD size = 0;
  GetKernelObjectSecurity(folder, what, nullptr, 0, &size);
  std::vector<char> descriptor(size);
  return size == 0 || !GetKernelObjectSecurity(folder, what, descriptor.data(), size, &size) ||
         win::OthersMayChange(descriptor.data(), win::SelfSid(), false);
}

// Removes Uninst.exe from folder (ending in "\") when it holds bytes, and
// then the folder when nothing else is left in it, both through a tree held
// from the drive's root, so that a folder swapped for a link meanwhile is
// never followed. The file is held (a link itself, never followed) before it
// is read and compared: what is deleted is what was compared.
void RemoveOriginalHeld(const std::u16string& folder, const std::string& bytes) {
  std::u16string parent = folder.substr(0, folder.size() - 1);
  const size_t cut = parent.find_last_of(u'\\');
  if (bytes.empty() || folder.empty() || folder.back() != u'\\' || cut == std::u16string::npos ||
      cut + 1 >= parent.size())
    return;
  const std::u16string name = parent.substr(cut + 1) + u"\\";
  parent.resize(cut + 1);
  const std::unique_ptr<FolderTree> tree =
      FolderTree::OpenExisting(parent, FolderTree::RootLink::kRefuse);
  HeldFolder* held = tree ? tree->Find(name) : nullptr;
  if (held == nullptr)
    return;
  // The file of a program that has just ended may stay locked a moment.
  // Only a file that was compared is deleted, now or at the next restart.
  bool compared = false, deleted = false;
  for (int i = 0; i < 100 && !deleted; ++i) {
    std::unique_ptr<HeldEntry> original;
    try {
      original = std::make_unique<HeldEntry>(*held, u"Uninst.exe", HeldEntry::Hold::kShared);
    } catch (const FileError&) {
      deleted = !held->Look(u"Uninst.exe").exists;  // gone already
    }
    if (original) {
      try {
        if (original->Read(bytes.size()) != bytes)
          return;
      } catch (const FileError&) {
        return;  // larger than the copy, or unreadable: not the copy's original
      }
      compared = true;
      deleted = original->Delete();
    }
    if (!deleted)
      Sleep(100);
  }
  if (!deleted) {
    if (compared) {
      DeleteAtRestart(folder + u"Uninst.exe");
      DeleteAtRestart(folder.substr(0, folder.size() - 1));
    }
    return;
  }
  // A file deleted while another program still has it open stays until that
  // program lets go of it (a virus scanner, the system still unmapping the
  // program that has just ended), and so does its folder: up to ten seconds
  // are given to it, then the folder is left to the next restart.
  for (int i = 0; i < 100; ++i) {
    if (tree->RemoveEmpty(name))
      return;
    held = tree->Find(name);
    if (held == nullptr)
      return;
    if (!held->Look(u"Uninst.exe").exists) {
      // Gone since the last try: one more; else something else is in it.
      if (tree->RemoveEmpty(name))
        return;
      break;
    }
    Sleep(100);
  }
  DeleteAtRestart(folder.substr(0, folder.size() - 1));
}

void RemoveOriginal(const std::u16string& folder, const std::string& bytes) {
  try {
    RemoveOriginalHeld(folder, bytes);
  } catch (const FileError&) {
    // a folder swapped for a link, or gone: nothing more is removed
  }
}

}  // namespace

std::u16string RemovalCopyParent() {
  return RunsAsAdministrator() ? WindowsTemp() : TempFolder();
}

std::u16string RandomName() {
  unsigned char bytes[16] = {};
  bool have = false;
  if (const auto gen = win::Api<win::Fn::SystemFunction036>())  // RtlGenRandom
    have = gen(bytes, sizeof bytes) != FALSE;
  if (!have) {
    const auto gen = win::Api<win::Fn::BCryptGenRandom>();
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

std::string RunningImage(const std::u16string& programPath) {
  const win::Handle h(CreateFileW(W(programPath), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE,
                                  nullptr, OPEN_EXISTING, 0, nullptr));
  if (!h || !ImageIsFile(GetCurrentProcess(), h.get()))
    return {};
  return ReadWhole(h.get(), 256 << 20);
}

bool MakeRemovalCopy(const std::string& bytes, const std::u16string& parent,
                     const std::u16string& name, TRemovalCopy& copy) {
  copy = TRemovalCopy{};
  copy.folder = parent + name + u"\\";
  copy.path = copy.folder + u"Uninst.exe";
  if (bytes.empty())
    return false;
  // The parent, held so that it cannot be renamed: a plain folder that no
  // other account may swap, empty or take over, opened from the folder above
  // it without following a link at its name (the folders above are the
  // system's).
  std::u16string at = parent;
  if (at.size() > 3 && at.back() == u'\\')
    at.pop_back();
  const size_t cut = at.find_last_of(u'\\');
  if (cut == std::u16string::npos || cut + 1 >= at.size())
    return false;
  const win::Handle outer = win::OpenFolderByPath(at.substr(0, cut + 1));
  win::Handle top;
  bool link = false;
  if (!outer || win::OpenHeldFolder(outer.get(), at.substr(cut + 1), false, top, link) < 0 ||
      link || !top || OthersMayChange(top.get())) {
    return false;
  }
  // A new folder, never one that exists: an elevated run lets only
  // Administrators and SYSTEM in, so that no other program of the user can
  // write there.
  win::LocalPtr<PSECURITY_DESCRIPTOR> descriptor;
  if (RunsAsAdministrator() &&
      !ConvertStringSecurityDescriptorToSecurityDescriptorW(
          L"D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)", SDDL_REVISION_1, descriptor.Out(), nullptr)) {
    return false;
  }
  // Held from now on, denying deletion: the folder cannot be renamed or
  // replaced, and goes when the last handle to it closes (made empty, as a
  // folder to be deleted on close must be).
  win::Handle folder;
  if (win::OpenAt(top.get(), name,
                  DELETE | FILE_TRAVERSE | FILE_READ_ATTRIBUTES | FILE_ADD_FILE | SYNCHRONIZE,
                  FILE_SHARE_READ | FILE_SHARE_WRITE, FILE_CREATE,
                  FILE_DIRECTORY_FILE | FILE_DELETE_ON_CLOSE | FILE_OPEN_REPARSE_POINT,
                  descriptor.get(), folder) < 0) {
    return false;
  }
  // A new file, never an existing one overwritten.
  bool wrote = false;
  {
    win::Handle out;
    if (win::CreateNewAt(folder.get(), u"Uninst.exe", out) >= 0) {
      DWORD written = 0;
      wrote =
          WriteFile(out.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
          written == bytes.size();
    }
  }
  // Open for reading only, denying others write and delete access (so also
  // renaming) until the copy has ended; the copy inherits the handle and the
  // file goes when it closes. What it holds is checked through that handle.
  win::Handle file;
  if (wrote) {
    win::OpenAt(folder.get(), u"Uninst.exe", GENERIC_READ | DELETE | SYNCHRONIZE, FILE_SHARE_READ,
                FILE_OPEN, FILE_NON_DIRECTORY_FILE | FILE_DELETE_ON_CLOSE | FILE_OPEN_REPARSE_POINT,
                nullptr, file);
    if (file && !SetHandleInformation(file.get(), HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT))
      file.Reset();
  }
  // The folder's handle above the file's, so that a process ending closes
  // the file's first.
  if (file && ReadWhole(file.get(), 256 << 20) == bytes) {
    if (const HANDLE above = DuplicateAbove(folder.get(), file.get())) {
      copy.folderHandle = above;
      copy.file = file.release();
      return true;
    }
  }
  // A file written but not held is deleted through the folder's handle.
  if (wrote && !file) {
    win::Handle gone;
    win::OpenAt(folder.get(), u"Uninst.exe", DELETE | SYNCHRONIZE, 0, FILE_OPEN,
                FILE_NON_DIRECTORY_FILE | FILE_DELETE_ON_CLOSE | FILE_OPEN_REPARSE_POINT, nullptr,
                gone);
  }
  return false;  // the file goes, then the folder with its last handle
}

void StartSelfRemoval(const std::u16string& programPath) {
  const std::u16string parent = RemovalCopyParent();
  const std::u16string name = RandomName();
  // Only the running program's own file is copied, and deleted: a file
  // put at its path meanwhile is neither.
  const std::string image = RunningImage(programPath);
  if (image.empty())
    return;
  TRemovalCopy copy;
  bool started = false;
  HANDLE self = nullptr;
  if (!parent.empty() && !name.empty() && MakeRemovalCopy(image, parent, u"Uninst-" + name, copy) &&
      DuplicateHandle(GetCurrentProcess(), GetCurrentProcess(), GetCurrentProcess(), &self,
                      SYNCHRONIZE | PROCESS_QUERY_INFORMATION, TRUE, 0)) {
    auto text = [](HANDLE h) {
      return IntToText(static_cast<int64_t>(reinterpret_cast<uintptr_t>(h)));
    };
    const std::u16string commandLine = u"\"" + copy.path + u"\" " + kRemovalSwitch + u" " +
                                       text(self) + u" " + text(copy.file) + u" \"" + programPath +
                                       u"\"";
    started =
        static_cast<bool>(StartExactly(copy.path, commandLine, copy.file, GetSystemDir(), true));
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
    win::Handle self(CreateFileW(W(copyPath), FILE_READ_ATTRIBUTES,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                 OPEN_EXISTING, 0, nullptr));
    const std::u16string moved = folder.substr(0, folder.size() - 1) + u".exe";
    if (self && win::SameFileAs(self.get(), file) &&
        win::RenameAt(file, nullptr, u"\\??\\" + moved, false) >= 0)
      copy = moved;
  }
  WaitForSingleObject(process, 60000);
  CloseHandle(process);
  // Only the program this is a copy of: its bytes are read through the
  // handle that holds the copy.
  if (file != nullptr && lstrcmpiW(W(ExtractFileName(originalPath)), L"Uninst.exe") == 0)
    RemoveOriginal(ExtractFileDir(originalPath), ReadWhole(file, 256 << 20));
  // Should the handles that delete them on closing fail to.
  const std::u16string parentFolder = RemovalCopyParent();
  if (!parentFolder.empty() && LiesIn(copyPath, parentFolder)) {
    DeleteAtRestart(copy);
    DeleteAtRestart(folder);
  }
  return kRemoved;
}
