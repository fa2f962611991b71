// Who may change a folder, and the descriptor a folder this program makes
// is given. Wine keeps no descriptors (it maps them onto Unix modes), so the
// rules are tested here on descriptors written out, and the descriptor
// handed to the system is checked as it is built.
#include <gtest/gtest.h>
#include <sddl.h>

#include "win/FolderTree.h"
#include "win/Security.h"

namespace {

const char16_t kSelf[] = u"S-1-5-21-1-2-3-1001";

// From its text; without one, a descriptor with no DACL at all (everyone
// may do everything), which not every system's text reader makes; an empty
// one stands for a descriptor that could not be read.
struct Descriptor {
  explicit Descriptor(const wchar_t* sddl) {
    if (sddl != nullptr && *sddl == L'\0')
      return;
    if (sddl != nullptr) {
      ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl, SDDL_REVISION_1, &sd, nullptr);
      return;
    }
    sd = LocalAlloc(LPTR, SECURITY_DESCRIPTOR_MIN_LENGTH);
    InitializeSecurityDescriptor(sd, SECURITY_DESCRIPTOR_REVISION);
    SetSecurityDescriptorDacl(sd, TRUE, nullptr, FALSE);
  }
  ~Descriptor() { LocalFree(sd); }
  PSECURITY_DESCRIPTOR sd = nullptr;
};

}  // namespace

TEST(FolderSecurity, WhoMayChangeAFolder) {
  struct Case {
    const char* what;
    const wchar_t* sddl;
    bool othersOnlyRead;   // a folder made in it inherits
    bool mayChange;        // as a folder above the destination
    bool mayAdd;           // as the destination itself
    int conditional = -1;  // the entry made a conditional grant
  };
  const Case cases[] = {
      {"Program Files",
       L"O:S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464"
       L"D:PAI(A;;FA;;;S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464)"
       L"(A;OICIIO;GA;;;CO)(A;;0x1301bf;;;SY)(A;OICIIO;GA;;;SY)(A;;0x1301bf;;;BA)"
       L"(A;OICIIO;GA;;;BA)(A;;0x1200a9;;;BU)(A;OICIIO;GXGR;;;BU)(A;;0x1200a9;;;AC)",
       true, false, false},
      {"a drive's root",
       L"O:SYD:(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)(A;OICI;0x1200a9;;;BU)"
       L"(A;;0x4;;;AU)(A;OICIIO;SDGXGWGR;;;AU)",
       false, false, true},
      {"made by a user", L"O:S-1-5-21-1-2-3-1002D:(A;OICI;FA;;;BA)(A;OICI;0x1200a9;;;BU)", true,
       true, true},
      {"Wine, mode 0777",
       L"O:S-1-5-21-1-2-3-1001D:(A;;0x1f01ff;;;S-1-5-21-1-2-3-1001)"
       L"(A;;0x1f01ff;;;SY)(A;;0x1301ff;;;WD)",
       false, true, true},
      {"Wine, mode 0755",
       L"O:S-1-5-21-1-2-3-1001D:(A;;0x1f01ff;;;S-1-5-21-1-2-3-1001)"
       L"(A;;0x1f01ff;;;SY)(A;;0x1200a9;;;WD)",
       true, false, false},
      {"no DACL at all", nullptr, false, true, true},
      {"unreadable", L"", false, true, true},
      {"files made in it would let users write", L"O:BAD:(A;OICI;FA;;;BA)(A;OICIIO;0x1301bf;;;BU)",
       false, false, true},
      // Its second entry made a conditional grant (not every system's text
      // reader makes one).
      {"a grant under a condition", L"O:BAD:(A;OICI;FA;;;BA)(A;;FA;;;BU)", false, true, true, 1},
      {"denied before it is granted", L"O:BAD:(D;;FA;;;WD)(A;;FA;;;BU)(A;OICI;FA;;;BA)", true,
       false, false},
      {"denied after it is granted", L"O:BAD:(A;;FA;;;BU)(D;;FA;;;WD)(A;OICI;FA;;;BA)", false, true,
       true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const Descriptor d(c.sddl);
    ASSERT_TRUE(d.sd != nullptr || *c.sddl == L'\0');
    if (c.conditional >= 0) {
      BOOL present = FALSE, defaulted = FALSE;
      PACL dacl = nullptr;
      void* ace = nullptr;
      ASSERT_TRUE(GetSecurityDescriptorDacl(d.sd, &present, &dacl, &defaulted) &&
                  GetAce(dacl, c.conditional, &ace));
      static_cast<ACE_HEADER*>(ace)->AceType = ACCESS_ALLOWED_CALLBACK_ACE_TYPE;
    }
    EXPECT_EQ(win::OthersOnlyReadExecute(d.sd, kSelf), c.othersOnlyRead);
    EXPECT_EQ(win::OthersMayChange(d.sd, kSelf, false), c.mayChange);
    EXPECT_EQ(win::OthersMayChange(d.sd, kSelf, true), c.mayAdd);
  }
}

TEST(FolderSecurity, TheDescriptorHandedToTheSystem) {
  // Owner Administrators, protected from the parent, full control for SYSTEM
  // and Administrators, read and execute for Users, down the tree.
  // What the system reads from it, not its text again.
  const win::FolderSecurity made = win::ProtectedFolderSecurity();
  ASSERT_NE(made.Descriptor(), nullptr);
  EXPECT_FALSE(win::OthersMayChange(made.Descriptor(), kSelf, true));
  SECURITY_DESCRIPTOR_CONTROL control = 0;
  DWORD revision = 0;
  ASSERT_TRUE(GetSecurityDescriptorControl(made.Descriptor(), &control, &revision));
  EXPECT_NE(control & SE_DACL_PROTECTED, 0) << "it would take the parent's entries";
  PSID owner = nullptr;
  BOOL defaulted = FALSE;
  ASSERT_TRUE(GetSecurityDescriptorOwner(made.Descriptor(), &owner, &defaulted));
  EXPECT_TRUE(owner != nullptr && IsWellKnownSid(owner, WinBuiltinAdministratorsSid));
  EXPECT_EQ(made.WithoutOwner().Text().find(u"O:"), std::u16string::npos);
}

TEST(FolderTree, OnlyMountPointsAndSymbolicLinksAreLinks) {
  struct Case {
    ULONG tag;
    bool link;
  };
  for (const Case& c :
       {Case{0xA0000003, true}, Case{0xA000000C, true}, Case{0x9000001A, false} /* cloud file */,
        Case{0x80000013, false} /* deduplicated */, Case{0x80000017, false}}) {
    EXPECT_EQ(win::IsLinkTag(c.tag), c.link) << std::hex << c.tag;
  }
}
