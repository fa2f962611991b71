#include "uninst/SelfRemoval.h"

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "common/Bytes.h"
#include "common/Errors.h"
#include "common/Path.h"
#include "common/Text.h"
#include "fs/Errors.h"
#include "fs/File.h"
#include "shell/Drives.h"
#include "uninst/CheckedStart.h"
#include "uninst/ExitCodes.h"
#include "uninst/RemoveFiles.h"
#include "uninst/UninstallRules.h"
#include "win/Api.h"
#include "win/FolderTree.h"
#include "win/Handle.h"
#include "win/Security.h"
#include "win/SystemPath.h"
#include "win/WideText.h"

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

// A file or folder (a folder's path without its final "\\", which the
// system would not recognise) down for deletion at the next restart.
void DeleteAtRestart(std::u16string path) {
  if (path.size() > 3 && path.back() == u'\\')
    path.pop_back();
  MoveFileExW(W(path), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
}

// The folder above folder (which ends in "\\") and folder's own name with
// a final "\\"; false when it has none.
bool SplitFolder(const std::u16string& folder, std::u16string& parent, std::u16string& name) {
  if (folder.size() < 2 || folder.back() != u'\\')
    return false;
  const std::u16string path = folder.substr(0, folder.size() - 1);
  parent = ExtractFileDir(path);
  name = ExtractFileName(path) + u"\\";
  return !parent.empty() && name.size() > 1;
}

// Removes Uninst.exe from folder (ending in "\") when it holds bytes, and
// then the folder when nothing else is left in it, both through a tree held
// from the drive's root, so that a folder swapped for a link meanwhile is
// never followed. The file is held (a link itself, never followed) before it
// is read and compared: what is deleted is what was compared.
void RemoveOriginalHeld(const std::u16string& folder, const std::string& bytes) {
  std::u16string parent, name;
  if (bytes.empty() || !SplitFolder(folder, parent, name))
    return;
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
      DeleteAtRestart(folder);
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
  DeleteAtRestart(folder);
}

// Removes folder (ending in "\\") when it is empty, through a tree held from
// the drive's root.
void RemoveEmptyFolder(const std::u16string& folder) {
  std::u16string parent, name;
  if (!SplitFolder(folder, parent, name))
    return;
  if (const auto tree = FolderTree::OpenExisting(parent, FolderTree::RootLink::kRefuse))
    tree->RemoveEmpty(name);
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
  try {
    return RandomName(32, kHexDigits);
  } catch (const Error&) {
    return {};
  }
}

void TRemovalCopy::Close() {
  if (file != INVALID_HANDLE_VALUE)
    CloseHandle(file);
  file = INVALID_HANDLE_VALUE;
  if (tree)
    tree->RemoveEmpty(name + u"\\");
  tree.reset();
}

namespace {

// The whole of a program open through h; empty when it cannot be read.
std::string ProgramBytes(HANDLE h) {
  std::string bytes;
  return ReadOpenFile(reinterpret_cast<intptr_t>(h), 256 << 20, bytes) ? bytes : std::string();
}

}  // namespace

std::string RunningImage(const std::u16string& programPath) {
  const win::Handle h(CreateFileW(W(programPath), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE,
                                  nullptr, OPEN_EXISTING, 0, nullptr));
  if (!h || !ImageIsFile(GetCurrentProcess(), h.get()))
    return {};
  return ProgramBytes(h.get());
}

bool MakeRemovalCopy(const std::string& bytes, const std::u16string& parent,
                     const std::u16string& name, TRemovalCopy& copy) {
  copy = TRemovalCopy{};
  copy.folder = parent + name + u"\\";
  copy.path = copy.folder + u"Uninst.exe";
  if (bytes.empty())
    return false;
  try {
    auto tree = std::make_unique<FolderTree>(parent, FolderTree::RootLink::kRefuse, false);
    if (!tree->Opened() || !tree->FindOthersMayChange(false).empty())
      return false;
    // A new folder, never one that exists; from now on Close removes it.
    HeldFolder& folder = tree->Enter(name + u"\\", true);
    if (tree->Made().empty())
      return false;
    copy.tree = std::move(tree);
    copy.name = name;
    {
      NewFile file(folder, u"Uninst.exe");
      file.Out().Write(bytes.data(), bytes.size());
      file.Finish(false);
      if (!file.Place(false)) {
        copy.Close();
        return false;
      }
    }
    // Held for reading only, others denied writing, renaming and deleting it
    // until the copy has ended; the copy inherits the handle and the file
    // goes when it closes. What it holds is checked through that hold.
    try {
      HeldEntry held(folder, u"Uninst.exe", HeldEntry::Hold::kUntilClosed);
      if (held.Read(bytes.size()) == bytes) {
        copy.file = reinterpret_cast<HANDLE>(held.Release());
        if (SetHandleInformation(copy.file, HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT))
          return true;
      }
    } catch (const FileError&) {
      // written but not held: deleted through the folder
      HeldEntry(folder, u"Uninst.exe", HeldEntry::Hold::kShared).Delete();
    }
  } catch (const FileError&) {
    // refused, or a step failed: undone below
  }
  copy.Close();
  return false;
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
  // moves out of its folder beside it, so that the folder is empty and can
  // go once the original has ended. Once running, the copy's file no longer
  // matters.
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
  const std::u16string parentFolder = RemovalCopyParent();
  const bool ours = !parentFolder.empty() && LiesIn(copyPath, parentFolder);
  if (ours && copy != copyPath) {
    try {
      RemoveEmptyFolder(folder);
    } catch (const FileError&) {
    }
  }
  // Only the program this is a copy of: its bytes are read through the
  // handle that holds the copy.
  if (file != nullptr && SystemSameName(ExtractFileName(originalPath), u"Uninst.exe"))
    RemoveOriginal(ExtractFileDir(originalPath), ProgramBytes(file));
  // Should the handle that deletes the copy on closing, or the removal of
  // its folder, fail.
  if (ours) {
    DeleteAtRestart(copy);
    DeleteAtRestart(folder);
  }
  return kRemoved;
}
