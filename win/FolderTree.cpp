#include "win/FolderTree.h"

#include <cstddef>
#include <cstring>
#include <vector>

#include "win/Api.h"
#include "win/Security.h"

namespace win {
namespace {

// NtCreateFile's dispositions and options.
constexpr ULONG kFileOpen = 1;
constexpr ULONG kFileCreate = 2;
constexpr ULONG kFileOpenIf = 3;
constexpr ULONG kDirectoryFile = 0x00000001;
constexpr ULONG kSynchronousIo = 0x00000020;
constexpr ULONG kNonDirectoryFile = 0x00000040;
constexpr ULONG kOpenForBackup = 0x00004000;
constexpr ULONG kOpenReparsePoint = 0x00200000;
constexpr ULONG_PTR kFileCreated = 2;
constexpr ULONG kObjCaseInsensitive = 0x40;
constexpr LONG kStatusProcedureMissing = static_cast<LONG>(0xC000007A);
constexpr ULONG kTagMountPoint = 0xA0000003;
constexpr ULONG kTagSymlink = 0xA000000C;

// What a held folder is opened with: enough to list it, make things in it
// and read its descriptor. Others may read and write in it, never rename or
// delete it.
constexpr ACCESS_MASK kFolderAccess =
    FILE_LIST_DIRECTORY | FILE_TRAVERSE | FILE_READ_ATTRIBUTES | READ_CONTROL | SYNCHRONIZE;
constexpr ULONG kFolderShare = FILE_SHARE_READ | FILE_SHARE_WRITE;

// The system's counted form of a text, which must outlive it.
UNICODE_STRING Counted(std::u16string& text) {
  UNICODE_STRING counted;
  counted.Buffer = reinterpret_cast<PWSTR>(text.data());
  counted.Length = static_cast<USHORT>(text.size() * 2);
  counted.MaximumLength = counted.Length;
  return counted;
}

}  // namespace

bool IsLinkTag(ULONG tag) {
  return tag == kTagMountPoint || tag == kTagSymlink;
}

LONG OpenAt(HANDLE root, std::u16string_view name, ACCESS_MASK access, ULONG share,
            ULONG disposition, ULONG options, void* securityDescriptor, Handle& h, bool* created) {
  const auto create = Api<Fn::NtCreateFile>();
  if (create == nullptr)
    return kStatusProcedureMissing;
  std::u16string text(name);
  UNICODE_STRING objectName = Counted(text);
  OBJECT_ATTRIBUTES attributes{};
  attributes.Length = sizeof attributes;
  attributes.RootDirectory = root;
  attributes.ObjectName = &objectName;
  attributes.Attributes = kObjCaseInsensitive;
  attributes.SecurityDescriptor = securityDescriptor;
  IO_STATUS_BLOCK io{};
  HANDLE out = nullptr;
  const LONG status = create(&out, access, &attributes, &io, nullptr, FILE_ATTRIBUTE_NORMAL, share,
                             disposition, options | kSynchronousIo, nullptr, 0);
  if (status >= 0) {
    h.Reset(out);
    if (created != nullptr)
      *created = io.Information == kFileCreated;
  }
  return status;
}

bool QueryTag(HANDLE h, ULONG& attributes, ULONG& tag) {
  const auto query = Api<Fn::NtQueryInformationFile>();
  FileAttributeTagInformation info{};
  IO_STATUS_BLOCK io{};
  if (query == nullptr || query(h, &io, &info, sizeof info, kFileAttributeTagInformation) < 0) {
    // Asked the documented way (reparse tags are then unknown).
    BY_HANDLE_FILE_INFORMATION basic{};
    if (!GetFileInformationByHandle(h, &basic))
      return false;
    attributes = basic.dwFileAttributes;
    tag = 0;
    return true;
  }
  attributes = info.fileAttributes;
  tag = info.reparseTag;
  return true;
}

namespace {

// A reparse point whose tag cannot be read counts as a link.
bool IsLink(ULONG attributes, ULONG tag) {
  return (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 && (tag == 0 || IsLinkTag(tag));
}

bool IsLinkOpen(HANDLE h) {
  ULONG attributes = 0, tag = 0;
  return !QueryTag(h, attributes, tag) || IsLink(attributes, tag);
}

// Whether name's entry in the folder's own listing is a link. Some systems
// (Wine) open what a link names even when told not to follow it, but list
// the link as a reparse point. A handle of its own on the same folder (its
// first search fixes the name it looks for), opened relative to the held one.
bool ListedAsLink(HANDLE folder, std::u16string_view name) {
  const auto list = Api<Fn::NtQueryDirectoryFile>();
  Handle again;
  if (list == nullptr || OpenAt(folder, u"", FILE_LIST_DIRECTORY | SYNCHRONIZE,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, kFileOpen,
                                kDirectoryFile | kOpenForBackup, nullptr, again) < 0) {
    return false;
  }
  std::u16string text(name);
  UNICODE_STRING pattern = Counted(text);
  // FILE_FULL_DIR_INFORMATION: for a reparse point EaSize holds its tag.
  struct FullDirInformation {
    ULONG nextEntryOffset;
    ULONG fileIndex;
    LARGE_INTEGER times[4];
    LARGE_INTEGER endOfFile;
    LARGE_INTEGER allocationSize;
    ULONG fileAttributes;
    ULONG fileNameLength;
    ULONG eaSize;
    WCHAR fileName[1];
  };
  alignas(8) char buffer[sizeof(FullDirInformation) + 1024] = {};
  IO_STATUS_BLOCK io{};
  if (list(again.get(), nullptr, nullptr, nullptr, &io, buffer, sizeof buffer,
           2 /* FileFullDirectoryInformation */, TRUE, &pattern, TRUE) < 0) {
    return false;
  }
  const auto* entry = reinterpret_cast<const FullDirInformation*>(buffer);
  return IsLink(entry->fileAttributes, entry->eaSize);
}

}  // namespace

LONG OpenHeldFolder(HANDLE parent, std::u16string_view name, bool create, Handle& h, bool& link,
                    bool* made) {
  if (made != nullptr)
    *made = false;
  link = false;
  LONG status = OpenAt(parent, name, kFolderAccess, kFolderShare, kFileOpen,
                       kDirectoryFile | kOpenReparsePoint | kOpenForBackup, nullptr, h);
  if (create && (status == kStatusObjectNameNotFound || status == kStatusObjectPathNotFound)) {
    const FolderSecurity security = NewFolderSecurity(parent);
    status =
        OpenAt(parent, name, kFolderAccess, kFolderShare, kFileOpenIf,
               kDirectoryFile | kOpenReparsePoint | kOpenForBackup, security.Descriptor(), h, made);
    if (status < 0 && security.Descriptor() != nullptr) {
      // An owner this process may not set (it is not elevated): the
      // descriptor without one.
      const FolderSecurity ownerless = security.WithoutOwner();
      status = OpenAt(parent, name, kFolderAccess, kFolderShare, kFileOpenIf,
                      kDirectoryFile | kOpenReparsePoint | kOpenForBackup, ownerless.Descriptor(),
                      h, made);
    }
  }
  if (status >= 0 && (IsLinkOpen(h.get()) || ListedAsLink(parent, name))) {
    h.Reset();
    link = true;
  }
  return status;
}

LONG OpenFolderFollowing(HANDLE parent, std::u16string_view name, Handle& h) {
  return OpenAt(parent, name, kFolderAccess, kFolderShare, kFileOpen,
                kDirectoryFile | kOpenForBackup, nullptr, h);
}

bool LinkOwnedByAdministrators(HANDLE folder, std::u16string_view name) {
  Handle h;
  return OpenAt(folder, name, READ_CONTROL | FILE_READ_ATTRIBUTES | SYNCHRONIZE,
                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, kFileOpen,
                kOpenReparsePoint | kOpenForBackup, nullptr, h) >= 0 &&
         OwnedByAdministrators(h.get(), false);
}

Handle OpenFolderByPath(std::u16string_view path) {
  const std::wstring p(path.begin(), path.end());
  return Handle(CreateFileW(p.c_str(), kFolderAccess, kFolderShare, nullptr, OPEN_EXISTING,
                            FILE_FLAG_BACKUP_SEMANTICS, nullptr));
}

Found LookAt(HANDLE folder, std::u16string_view name) {
  Found found;
  Handle h;
  const LONG status = OpenAt(folder, name, FILE_READ_ATTRIBUTES | SYNCHRONIZE,
                             FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, kFileOpen,
                             kOpenReparsePoint | kOpenForBackup, nullptr, h);
  if (status == kStatusObjectNameNotFound || status == kStatusObjectPathNotFound)
    return found;
  found.exists = true;
  ULONG attributes = 0, tag = 0;
  if (status < 0 || !QueryTag(h.get(), attributes, tag)) {
    // There, but not to be looked at: nothing is written over it.
    found.readOnly = true;
    return found;
  }
  found.folder = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  found.link = IsLink(attributes, tag) || ListedAsLink(folder, name);
  found.readOnly = (attributes & FILE_ATTRIBUTE_READONLY) != 0;
  return found;
}

LONG CreateNewAt(HANDLE folder, std::u16string_view name, Handle& h) {
  return OpenAt(folder, name, GENERIC_READ | GENERIC_WRITE | DELETE | SYNCHRONIZE, FILE_SHARE_READ,
                kFileCreate, kNonDirectoryFile | kOpenReparsePoint, nullptr, h);
}

LONG HoldFileAt(HANDLE folder, std::u16string_view name, FileHold how, Handle& h) {
  // FILE_WRITE_ATTRIBUTES: DeleteThrough lets a read-only file go of its
  // attribute through this handle.
  const ACCESS_MASK access = FILE_READ_DATA | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES |
                             READ_CONTROL | DELETE | SYNCHRONIZE |
                             (how == FileHold::kExclusive ? FILE_WRITE_DATA : 0);
  const ULONG share = how == FileHold::kShared
                          ? FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE
                          : FILE_SHARE_READ;
  return OpenAt(folder, name, access, share, kFileOpen,
                kNonDirectoryFile | kOpenReparsePoint |
                    (how == FileHold::kUntilClosed ? FILE_DELETE_ON_CLOSE : 0),
                nullptr, h);
}

LONG RenameAt(HANDLE file, HANDLE folder, std::u16string_view name, bool replace) {
  const auto set = Api<Fn::NtSetInformationFile>();
  if (set == nullptr)
    return kStatusProcedureMissing;
  std::vector<char> info(offsetof(FileRenameInformation, fileName) + (name.size() + 1) * 2 + 16);
  auto* rename = reinterpret_cast<FileRenameInformation*>(info.data());
  rename->replaceIfExists = replace ? TRUE : FALSE;
  rename->rootDirectory = folder;
  rename->fileNameLength = static_cast<ULONG>(name.size() * 2);
  std::memcpy(info.data() + offsetof(FileRenameInformation, fileName), name.data(),
              name.size() * 2);
  IO_STATUS_BLOCK io{};
  return set(file, &io, info.data(), static_cast<ULONG>(info.size()), kFileRenameInformation);
}

bool RemoveFolderAt(HANDLE folder, std::u16string_view name) {
  Handle h;
  return OpenAt(folder, name, DELETE | SYNCHRONIZE,
                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, kFileOpen,
                kDirectoryFile | kOpenReparsePoint | kOpenForBackup, nullptr, h) >= 0 &&
         DeleteThrough(h.get());
}

bool SameFileAs(HANDLE a, HANDLE b) {
  BY_HANDLE_FILE_INFORMATION x{}, y{};
  return GetFileInformationByHandle(a, &x) && GetFileInformationByHandle(b, &y) &&
         x.dwVolumeSerialNumber == y.dwVolumeSerialNumber && x.nFileIndexHigh == y.nFileIndexHigh &&
         x.nFileIndexLow == y.nFileIndexLow;
}

bool DeleteThrough(HANDLE file) {
  const auto set = Api<Fn::NtSetInformationFile>();
  if (set == nullptr)
    return false;
  BOOLEAN disposition = TRUE;
  IO_STATUS_BLOCK io{};
  if (set(file, &io, &disposition, sizeof disposition, kFileDispositionInformation) >= 0)
    return true;
  // A read-only file is let go of its attribute first, through the same
  // handle (which needs FILE_WRITE_ATTRIBUTES), and gets it back when it
  // still cannot be deleted.
  ULONG attributes = 0, tag = 0;
  if (!QueryTag(file, attributes, tag) || !(attributes & FILE_ATTRIBUTE_READONLY))
    return false;
  // FILE_BASIC_INFORMATION: times of 0 stay as they are.
  struct BasicInformation {
    LARGE_INTEGER times[4];
    ULONG fileAttributes;
  } basic{};
  const ULONG rest = attributes & ~static_cast<ULONG>(FILE_ATTRIBUTE_READONLY);
  basic.fileAttributes = rest != 0 ? rest : FILE_ATTRIBUTE_NORMAL;
  if (set(file, &io, &basic, sizeof basic, kFileBasicInformation) < 0)
    return false;
  if (set(file, &io, &disposition, sizeof disposition, kFileDispositionInformation) >= 0)
    return true;
  basic.fileAttributes = attributes;
  set(file, &io, &basic, sizeof basic, kFileBasicInformation);
  return false;
}

}  // namespace win
