// Registry reads and writes, under HKEY_CURRENT_USER and HKEY_LOCAL_MACHINE.
#include "shell/Errors.h"
#include "shell/tests/ShellFixture.h"

#include <shlwapi.h>

namespace {

const std::u16string kBase = u"Software\\SetupKitTests";

class Registry : public testing::TestWithParam<HKEY> {
 protected:
  void TearDown() override { SHDeleteKeyW(GetParam(), W(kBase)); }
};

}  // namespace

TEST_P(Registry, WriteCreatesEveryMissingLevel) {
  const std::u16string key = kBase + u"\\a\\b\\c";
  EXPECT_TRUE(RegWriteText(GetParam(), key, u"Name", u"诺凡画图"));
  EXPECT_EQ(RegReadText(GetParam(), key, u"Name"), u"诺凡画图");
  EXPECT_EQ(ValueType(GetParam(), key, u"Name"), static_cast<DWORD>(REG_SZ));
  // Replaced in place.
  EXPECT_TRUE(RegWriteText(GetParam(), key, u"Name", u"Drawlet"));
  EXPECT_EQ(RegReadText(GetParam(), key, u"Name"), u"Drawlet");
}

TEST_P(Registry, EmptyValuesAreTwoByteStrings) {
  EXPECT_TRUE(RegWriteText(GetParam(), kBase, u"Empty", u""));
  DWORD size = 0;
  EXPECT_EQ(ValueType(GetParam(), kBase, u"Empty", &size), static_cast<DWORD>(REG_SZ));
  EXPECT_EQ(size, 2u);
  EXPECT_EQ(RegReadText(GetParam(), kBase, u"Empty"), u"");
  // The default value of a key.
  EXPECT_TRUE(RegWriteText(GetParam(), kBase, u"", u"default"));
  EXPECT_EQ(RegReadText(GetParam(), kBase, u""), u"default");
}

TEST_P(Registry, ALeadingBackslashIsDropped) {
  EXPECT_TRUE(RegCreateKeyPath(GetParam(), u"\\" + kBase + u"\\x\\y"));
  EXPECT_TRUE(RegWriteText(GetParam(), u"\\" + kBase + u"\\x\\y", u"V", u"1"));
  EXPECT_EQ(RegReadText(GetParam(), kBase + u"\\x\\y", u"V"), u"1");
  EXPECT_EQ(RegReadText(GetParam(), u"\\" + kBase + u"\\x\\y", u"V"), u"1");
  // An existing key is simply opened.
  EXPECT_TRUE(RegCreateKeyPath(GetParam(), kBase + u"\\x\\y"));
  EXPECT_EQ(RegReadText(GetParam(), kBase + u"\\x\\y", u"V"), u"1");
}

TEST_P(Registry, MissingKeysAndValuesReadEmpty) {
  EXPECT_EQ(RegReadText(GetParam(), kBase + u"\\nowhere", u"V"), u"");
  RegCreateKeyPath(GetParam(), kBase);
  EXPECT_EQ(RegReadText(GetParam(), kBase, u"missing"), u"");
}

TEST_P(Registry, OtherTypesRaiseAndExpandableTextStaysUnexpanded) {
  RegCreateKeyPath(GetParam(), kBase);
  RegKey k;
  ASSERT_EQ(RegOpenKeyExW(GetParam(), W(kBase), 0, KEY_ALL_ACCESS, k.Out()), ERROR_SUCCESS);
  const DWORD number = 42;
  RegSetValueExW(k.get(), L"Number", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number), 4);
  const wchar_t expand[] = L"%SystemRoot%\\x";
  RegSetValueExW(k.get(), L"Expand", 0, REG_EXPAND_SZ, reinterpret_cast<const BYTE*>(expand),
                 sizeof expand);
  // Text stored without its terminator still reads whole.
  const wchar_t bare[] = {L'a', L'b', L'c'};
  RegSetValueExW(k.get(), L"Bare", 0, REG_SZ, reinterpret_cast<const BYTE*>(bare), sizeof bare);
  k.Close();

  EXPECT_EQ(ErrorOf([&] { RegReadText(GetParam(), kBase, u"Number"); }),
            u"Invalid data type for 'Number'");
  EXPECT_THROW(RegReadText(GetParam(), kBase, u"Number"), RegistryError);
  EXPECT_EQ(RegReadText(GetParam(), kBase, u"Expand"), u"%SystemRoot%\\x");
  EXPECT_EQ(RegReadText(GetParam(), kBase, u"Bare"), u"abc");
}

TEST_P(Registry, FailuresToCreateRaiseOrReturnFalse) {
  // A key name longer than the registry allows.
  const std::u16string bad = kBase + u"\\" + std::u16string(300, u'k');
  EXPECT_EQ(ErrorOf([&] { RegCreateKeyPath(GetParam(), bad); }), u"Failed to create key " + bad);
  EXPECT_FALSE(RegWriteText(GetParam(), bad, u"V", u"x"));
}

INSTANTIATE_TEST_SUITE_P(Roots, Registry, testing::Values(HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE),
                         [](const auto& p) {
                           return p.param == HKEY_CURRENT_USER ? "CurrentUser" : "LocalMachine";
                         });
