// A signed uninstaller: its list lies before the signature's table at the end
// of the file, and packing never appends a list after a signature.
#include <cstring>

#include "package/PeSignature.h"
#include "package/UninstallList.h"
#include "package/tests/PackageFixture.h"
#include "pe/PeHeaders.h"
#include "pe/tests/PeFixture.h"

namespace {

// The headers of a PE program (PE32 or PE32+) and some body.
std::string Program(bool pe32plus) {
  TImageSpec spec;
  spec.is64 = pe32plus;
  return MakeImage(spec) + "the program's sections" + std::string(1000, '\x90');
}

// Signs the bytes as a signing tool does: zeros up to a multiple of 8, then
// the table, named by the security entry.
std::string Signed(std::string s, bool pe32plus, size_t tableSize = 1480) {
  s.append((8 - s.size() % 8) % 8, '\0');
  const size_t dirs = kOptAt + (pe32plus ? 112 : 96);
  SetU32(s, dirs + 8 * kSecurityDirectory, static_cast<uint32_t>(s.size()));
  SetU32(s, dirs + 8 * kSecurityDirectory + 4, static_cast<uint32_t>(tableSize));
  return s + std::string(tableSize, '\x30');
}

std::vector<TUninstallRow> Rows() {
  return {{u"", u"Drawlet.exe", false}, {u"$System$", u"x.dll", true}, {u"", u"Uninst.exe", false}};
}

// The same rows in the order packing gives them: "$" sorts first.
std::vector<TUninstallRow> PackedRows() {
  return {{u"$System$", u"x.dll", true}, {u"", u"Drawlet.exe", false}, {u"", u"Uninst.exe", false}};
}

std::vector<TUninstallRow> ReadFrom(const std::string& file) {
  return ReadUninstallList(
      static_cast<int64_t>(file.size()),
      [&](int64_t offset, char* buffer, size_t count) {
        if (offset < 0 || static_cast<size_t>(offset) + count > file.size())
          throw Error(u"read past the file");
        std::memcpy(buffer, file.data() + offset, count);
      },
      u"Uninst.exe");
}

}  // namespace

TEST(SignedUninstaller, TheListIsFoundBeforeTheSignature) {
  for (bool plus : {false, true}) {
    const std::string program = Program(plus);
    EXPECT_FALSE(FindSignatureTable(program));
    // The list's length decides how many zeros align the table.
    for (size_t extra = 0; extra < 8; ++extra) {
      const std::string listed = program + std::string(extra, 'x') + MakeUninstallList(Rows());
      const std::string file = Signed(listed, plus);
      const auto table = FindSignatureTable(file);
      ASSERT_TRUE(table);
      EXPECT_EQ(table->size, 1480);
      EXPECT_EQ(table->offset + table->size, static_cast<int64_t>(file.size()));
      EXPECT_EQ(ReadFrom(file), Rows()) << extra;
    }
    // Unsigned, as before.
    EXPECT_EQ(ReadFrom(program + MakeUninstallList(Rows())), Rows());
  }
}

TEST(SignedUninstaller, OnlyATableThatEndsTheFileCounts) {
  const std::string listed = Program(false) + MakeUninstallList(Rows());
  // Bytes after the table: that is no signature a list was signed under.
  EXPECT_FALSE(FindSignatureTable(Signed(listed, false) + "more"));
  EXPECT_THROW(ReadFrom(Signed(listed, false) + "more"), Error);
  // A signed program without a list, and a damaged one.
  EXPECT_THROW(ReadFrom(Signed(Program(false), false)), Error);
  std::string damaged = Signed(listed, false);
  damaged[Program(false).size() + 20] ^= 1;
  EXPECT_THROW(ReadFrom(damaged), Error);
  // Not PE programs at all, and headers that point outside the file.
  EXPECT_FALSE(FindSignatureTable(std::string("MZ")));
  EXPECT_FALSE(FindSignatureTable(std::string(100, 'M')));
  std::string outside = Signed(listed, false);
  SetU32(outside, kPeOffsetField, 0x7FFFFFF0);
  EXPECT_FALSE(FindSignatureTable(outside));
}

struct SignedPack : Scratch {};

TEST_F(SignedPack, ASignedProgramGetsNoListAppended) {
  WriteAll(root / "src" / "Drawlet.exe", "drawlet");
  WriteAll(root / "src" / "$System$" / "x.dll", "shared");
  WriteAll(root / "signed.exe", Signed(Program(false), false));
  WriteAll(root / "plain.exe", Program(false));
  TPackOptions po;
  po.codePage = options.codePage;
  po.uninstaller = FromFsPath(root / "signed.exe");
  const std::u16string pkg = FromFsPath(root / "p.stp");
  const std::u16string error = ErrorOf([&] { PackDirectory(FromFsPath(root / "src"), pkg, po); });
  EXPECT_NE(error.find(u"is signed"), std::u16string::npos) << ToUtf8(error);
  EXPECT_FALSE(fs::exists(ToFsPath(pkg)));
  EXPECT_THROW(MakeUninstallerFor(FromFsPath(root / "src"), FromFsPath(root / "signed.exe")),
               Error);

  // The way round: the uninstaller with its list goes into the folder, is
  // signed there and packed as it is.
  const std::string made =
      MakeUninstallerFor(FromFsPath(root / "src"), FromFsPath(root / "plain.exe"));
  EXPECT_EQ(ParseUninstallList(made), PackedRows());
  const std::string signedMade = Signed(made, false);
  WriteAll(root / "src" / "Uninst.exe", signedMade);
  // Made again with its own earlier copy in the folder: one row of it.
  EXPECT_EQ(ParseUninstallList(
                MakeUninstallerFor(FromFsPath(root / "src"), FromFsPath(root / "plain.exe"))),
            PackedRows());
  po.uninstaller = FromFsPath(root / "signed.exe");
  const TPackResult r = PackDirectory(FromFsPath(root / "src"), pkg, po);
  EXPECT_FALSE(r.uninstallerAdded);
  ExtractPackage(pkg, dest, u"", nullptr, options);
  EXPECT_EQ(ReadAll(Dest(u"Uninst.exe")), signedMade);
  EXPECT_EQ(ReadUninstallList(dest + u"Uninst.exe"), PackedRows());
}
