// Who may change a folder, and the descriptor a folder this program makes
// is given.
//
// A non-administrator is any account but SYSTEM, Administrators,
// TrustedInstaller and the account this process runs as (its own
// unelevated programs are no boundary on Windows, and under Wine every
// file belongs to it). CREATOR OWNER stands for whoever makes a file below,
// which here is this process.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

namespace win {

// A self-relative security descriptor, or none.
class FolderSecurity {
 public:
  FolderSecurity() = default;
  explicit FolderSecurity(std::u16string sddl);
  ~FolderSecurity();
  FolderSecurity(FolderSecurity&& other) noexcept;
  FolderSecurity& operator=(FolderSecurity&&) = delete;
  FolderSecurity(const FolderSecurity&) = delete;

  // nullptr: the folder inherits from its parent as usual.
  void* Descriptor() const { return sd_; }
  // The same without an owner (the system then takes the process's default
  // owner, which for an elevated administrator is Administrators).
  FolderSecurity WithoutOwner() const;
  // The descriptor in the system's text form (SDDL); empty for none.
  std::u16string Text() const;

 private:
  std::u16string sddl_;
  void* sd_ = nullptr;
};

// Owner Administrators; full control for SYSTEM and Administrators, read
// and execute for Users, to this folder, its folders and files; nothing
// inherited from the parent.
FolderSecurity ProtectedFolderSecurity();

// The descriptor for a folder made in parent (a folder handle open with
// READ_CONTROL): none where the parent lets non-administrators no more than
// read and execute (as Program Files does), the protected one otherwise
// (also when the parent's descriptor cannot be read).
FolderSecurity NewFolderSecurity(HANDLE parent);

// The running account's SID in text form ("S-1-5-21-...").
std::u16string SelfSid();

// Whether a descriptor lets non-administrators (other than self) no more
// than read and execute, in any entry, inheritable ones included.
bool OthersOnlyReadExecute(PSECURITY_DESCRIPTOR sd, std::u16string_view self);
// Whether a descriptor lets a non-administrator change the folder: rename
// or delete it or what is in it, change its permissions or owner, and when
// contents is set, also add files or folders to it. An owner who is a
// non-administrator may always change the permissions.
bool OthersMayChange(PSECURITY_DESCRIPTOR sd, std::u16string_view self, bool contents);

// Whether an open file or folder (opened with READ_CONTROL) belongs to
// SYSTEM, Administrators, TrustedInstaller, or (when self is set) this
// account; false when its owner cannot be read.
bool OwnedByAdministrators(HANDLE h, bool self);

}  // namespace win
