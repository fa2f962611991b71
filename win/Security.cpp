#include "win/Security.h"

#include <aclapi.h>
#include <sddl.h>

#include <utility>
#include <vector>

#include "win/Handle.h"

namespace win {
namespace {

const char16_t kProtectedSddl[] =
    u"O:BAD:PAI(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1200a9;;;BU)";

const char16_t* const kAdministrativeSids[] = {
    u"S-1-5-18",                                                        // SYSTEM
    u"S-1-5-32-544",                                                    // Administrators
    u"S-1-3-0",                                                         // CREATOR OWNER
    u"S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464",  // TrustedInstaller
};

constexpr ACCESS_MASK kReadExecute = FILE_GENERIC_READ | FILE_GENERIC_EXECUTE;
constexpr ACCESS_MASK kRenameOrPermissions = FILE_DELETE_CHILD | DELETE | WRITE_DAC | WRITE_OWNER;
constexpr ACCESS_MASK kAddEntries = FILE_ADD_FILE | FILE_ADD_SUBDIRECTORY;

std::u16string SidText(PSID sid) {
  LocalPtr<wchar_t*> text;
  if (sid == nullptr || !ConvertSidToStringSidW(sid, text.Out()))
    return u"";
  return std::u16string(reinterpret_cast<const char16_t*>(text.get()));
}

bool IsNonAdministrator(PSID sid, std::u16string_view self) {
  const std::u16string text = SidText(sid);
  if (text.empty())
    return true;
  if (text == self)
    return false;
  for (const char16_t* known : kAdministrativeSids) {
    if (text == known)
      return false;
  }
  return true;
}

ACCESS_MASK FileRights(ACCESS_MASK mask) {
  GENERIC_MAPPING mapping{FILE_GENERIC_READ, FILE_GENERIC_WRITE, FILE_GENERIC_EXECUTE,
                          FILE_ALL_ACCESS};
  MapGenericMask(&mask, &mapping);
  return mask;
}

// What an entry of a DACL does.
enum class AceKind { kAllow, kDeny, kNothing, kUnknown };

AceKind KindOf(BYTE type) {
  switch (type) {
    case ACCESS_ALLOWED_ACE_TYPE:
      return AceKind::kAllow;
    case ACCESS_DENIED_ACE_TYPE:
      return AceKind::kDeny;
    // Conditional and object-specific denials only take rights away:
    // passing over them makes no one seem to have fewer rights than they do.
    case ACCESS_DENIED_OBJECT_ACE_TYPE:
    case ACCESS_DENIED_CALLBACK_ACE_TYPE:
    case ACCESS_DENIED_CALLBACK_OBJECT_ACE_TYPE:
    // Auditing, alarms and labels grant nothing.
    case SYSTEM_AUDIT_ACE_TYPE:
    case SYSTEM_ALARM_ACE_TYPE:
    case SYSTEM_AUDIT_OBJECT_ACE_TYPE:
    case SYSTEM_ALARM_OBJECT_ACE_TYPE:
    case SYSTEM_AUDIT_CALLBACK_ACE_TYPE:
    case SYSTEM_ALARM_CALLBACK_ACE_TYPE:
    case SYSTEM_AUDIT_CALLBACK_OBJECT_ACE_TYPE:
    case SYSTEM_ALARM_CALLBACK_OBJECT_ACE_TYPE:
    case SYSTEM_MANDATORY_LABEL_ACE_TYPE:
      return AceKind::kNothing;
    // Conditional and object-specific grants (and any kind this program
    // does not know) cannot be weighed here.
    default:
      return AceKind::kUnknown;
  }
}

constexpr char16_t kEveryone[] = u"S-1-1-0";

// Calls f(ace header, mask, sid) for each entry that grants something, with
// the rights denied to that account (or to everyone) by an entry before it
// taken away: the system weighs the entries in their order, and a right
// denied before it is granted stays denied. False when the descriptor has
// no DACL (everyone may do everything), or when it cannot be read whole or
// holds a grant that cannot be weighed: then nothing can be promised.
template <class F>
bool ForEachAllow(PSECURITY_DESCRIPTOR sd, F f) {
  BOOL present = FALSE, defaulted = FALSE;
  PACL dacl = nullptr;
  if (sd == nullptr || !GetSecurityDescriptorDacl(sd, &present, &dacl, &defaulted) || !present ||
      dacl == nullptr) {
    return false;
  }
  struct Denied {
    std::u16string sid;
    ACCESS_MASK mask;
    BYTE flags;
  };
  std::vector<Denied> denied;
  const auto deniedTo = [&](const std::u16string& sid, BYTE flags) {
    ACCESS_MASK mask = 0;
    for (const Denied& d : denied) {
      // A denial for what is below does not apply to the folder itself, and
      // one for the folder alone not to what is below it.
      const bool same = (d.flags & INHERIT_ONLY_ACE) == (flags & INHERIT_ONLY_ACE);
      if (same && (d.sid == sid || d.sid == kEveryone))
        mask |= d.mask;
    }
    return mask;
  };
  for (DWORD i = 0; i < dacl->AceCount; ++i) {
    void* ace = nullptr;
    if (!GetAce(dacl, i, &ace))
      return false;
    const auto* header = static_cast<ACE_HEADER*>(ace);
    const AceKind kind = KindOf(header->AceType);
    if (kind == AceKind::kUnknown)
      return false;
    if (kind == AceKind::kNothing)
      continue;
    // Allowed and denied entries share their layout.
    auto* entry = static_cast<ACCESS_ALLOWED_ACE*>(ace);
    const PSID sid = static_cast<PSID>(&entry->SidStart);
    const ACCESS_MASK mask = FileRights(entry->Mask);
    if (kind == AceKind::kDeny) {
      denied.push_back({SidText(sid), mask, header->AceFlags});
      continue;
    }
    const ACCESS_MASK granted = mask & ~deniedTo(SidText(sid), header->AceFlags);
    if (granted != 0)
      f(*header, granted, sid);
  }
  return true;
}

}  // namespace

FolderSecurity::FolderSecurity(std::u16string sddl) : sddl_(std::move(sddl)) {
  if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(
          reinterpret_cast<const wchar_t*>(sddl_.c_str()), SDDL_REVISION_1, &sd_, nullptr)) {
    sd_ = nullptr;
  }
}

FolderSecurity::~FolderSecurity() {
  if (sd_ != nullptr)
    LocalFree(sd_);
}

FolderSecurity::FolderSecurity(FolderSecurity&& other) noexcept
    : sddl_(std::move(other.sddl_)), sd_(std::exchange(other.sd_, nullptr)) {}

FolderSecurity FolderSecurity::WithoutOwner() const {
  if (sddl_.rfind(u"O:BA", 0) != 0)
    return FolderSecurity(sddl_);
  return FolderSecurity(sddl_.substr(4));
}

std::u16string FolderSecurity::Text() const {
  LocalPtr<wchar_t*> text;
  if (sd_ == nullptr ||
      !ConvertSecurityDescriptorToStringSecurityDescriptorW(
          sd_, SDDL_REVISION_1, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, text.Out(),
          nullptr)) {
    return u"";
  }
  return std::u16string(reinterpret_cast<const char16_t*>(text.get()));
}

FolderSecurity ProtectedFolderSecurity() {
  return FolderSecurity(kProtectedSddl);
}

std::u16string SelfSid() {
  static const std::u16string self = [] {
    Handle token;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.Out()))
      return std::u16string();
    DWORD size = 0;
    GetTokenInformation(token.get(), TokenUser, nullptr, 0, &size);
    std::u16string result;
    if (size == 0)
      return result;
    auto* user = static_cast<TOKEN_USER*>(LocalAlloc(LMEM_FIXED, size));
    if (user != nullptr && GetTokenInformation(token.get(), TokenUser, user, size, &size))
      result = SidText(user->User.Sid);
    if (user != nullptr)
      LocalFree(user);
    return result;
  }();
  return self;
}

bool OthersOnlyReadExecute(PSECURITY_DESCRIPTOR sd, std::u16string_view self) {
  bool only = true;
  if (!ForEachAllow(sd, [&](const ACE_HEADER&, ACCESS_MASK mask, PSID sid) {
        if ((mask & ~kReadExecute) != 0 && IsNonAdministrator(sid, self))
          only = false;
      })) {
    return false;
  }
  return only;
}

bool OthersMayChange(PSECURITY_DESCRIPTOR sd, std::u16string_view self, bool contents) {
  // Unreadable: nothing can be promised.
  PSID owner = nullptr;
  BOOL defaulted = FALSE;
  if (sd == nullptr || !GetSecurityDescriptorOwner(sd, &owner, &defaulted) || owner == nullptr ||
      IsNonAdministrator(owner, self)) {
    return true;
  }
  const ACCESS_MASK change = kRenameOrPermissions | (contents ? kAddEntries : 0);
  bool may = false;
  if (!ForEachAllow(sd, [&](const ACE_HEADER& header, ACCESS_MASK mask, PSID sid) {
        // An entry only for what is below does not apply to the folder; in
        // the destination the files and folders this program makes inherit
        // it, so there it counts, for any change to them.
        const bool below = (header.AceFlags & INHERIT_ONLY_ACE) != 0;
        const bool inherited =
            (header.AceFlags & (OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE)) != 0;
        const ACCESS_MASK counted = below ? (contents && inherited ? ~kReadExecute : 0) : change;
        if ((mask & counted) != 0 && IsNonAdministrator(sid, self))
          may = true;
      })) {
    return true;
  }
  return may;
}

bool OwnedByAdministrators(HANDLE h, bool self) {
  PSID owner = nullptr;
  PSECURITY_DESCRIPTOR sd = nullptr;
  if (GetSecurityInfo(h, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr, nullptr,
                      nullptr, &sd) != ERROR_SUCCESS) {
    return false;
  }
  // CREATOR OWNER stands for an owner in an entry; it is never one itself.
  const bool trusted = owner != nullptr && SidText(owner) != u"S-1-3-0" &&
                       !IsNonAdministrator(owner, self ? SelfSid() : u"");
  LocalFree(sd);
  return trusted;
}

FolderSecurity NewFolderSecurity(HANDLE parent) {
  PSECURITY_DESCRIPTOR sd = nullptr;
  if (GetSecurityInfo(parent, SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, nullptr,
                      nullptr, &sd) != ERROR_SUCCESS) {
    return ProtectedFolderSecurity();
  }
  const bool inherit = OthersOnlyReadExecute(sd, SelfSid());
  LocalFree(sd);
  return inherit ? FolderSecurity() : ProtectedFolderSecurity();
}

}  // namespace win
