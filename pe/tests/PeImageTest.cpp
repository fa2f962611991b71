// The image's headers: parsing refusals, the last section replaced under
// every alignment, the check sum.
#include <gtest/gtest.h>

#include <functional>

#include "common/Text.h"
#include "common/tests/ErrorOf.h"
#include "pe/PeImage.h"
#include "pe/tests/PeFixture.h"

namespace {

TResourceTree SmallTree(size_t bytes) {
  TResourceTree t;
  t[{TResourceId::Number(kRtRcData), TResourceId::Name(u"blob"), 2052}] = {std::string(bytes, 'x'),
                                                                           0};
  return t;
}

TImageSpec Spec(bool is64, uint32_t fileAlign, uint32_t sectionAlign) {
  TImageSpec s;
  s.is64 = is64;
  s.fileAlignment = fileAlign;
  s.sectionAlignment = sectionAlign;
  s.sections = {{".text", std::string(700, '\xC3'), std::nullopt, 0x60000020},
                {".data", std::string(33, 'd'), std::nullopt, 0xC0000040},
                {".bss", "", std::nullopt, 0xC0000080},
                {".rsrc", "", SmallTree(100), 0x40000040}};
  return s;
}

}  // namespace

// Replacing the resource section with a larger and a smaller one, for both
// kinds of header and odd alignments (file and section alignment equal and
// below a page, as drivers and small programs are linked; large pages).
TEST(PeImage, ReplaceLastSectionKeepsHeadersTrue) {
  struct Row {
    bool is64;
    uint32_t fileAlign, sectionAlign;
  } rows[] = {{false, 0x200, 0x1000},  {true, 0x200, 0x1000}, {false, 0x1000, 0x1000},
              {false, 0x200, 0x200},   {true, 0x20, 0x20},    {false, 0x200, 0x10000},
              {true, 0x10000, 0x10000}};
  for (const Row& r : rows) {
    for (size_t newSize : {5000u, 3u, 0x12345u}) {
      SCOPED_TRACE(testing::Message() << "is64 " << r.is64 << " file " << r.fileAlign << " section "
                                      << r.sectionAlign << " data " << newSize);
      const std::string before = MakeImage(Spec(r.is64, r.fileAlign, r.sectionAlign));
      PeImage image(before);
      ASSERT_EQ(image.Is64(), r.is64);
      const int last = image.SectionOf(image.Directory(kResourceDirectory).rva);
      ASSERT_EQ(last, 3);
      ASSERT_TRUE(image.IsLastSection(last));
      const TPeSection old = image.Sections()[3];
      const uint32_t initialised = image.SizeOfInitializedData();

      const std::string data(newSize, 'r');
      image.ReplaceLastSection(data, kResourceDirectory);
      PeImage again(image.Bytes());
      const TPeSection& s = again.Sections()[3];
      EXPECT_EQ(s.name, ".rsrc");
      EXPECT_EQ(s.virtualAddress, old.virtualAddress);
      EXPECT_EQ(s.rawPointer, old.rawPointer);
      EXPECT_EQ(s.virtualSize, newSize);
      EXPECT_EQ(s.rawSize, AlignTo(newSize, r.fileAlign));
      EXPECT_EQ(s.characteristics, old.characteristics);
      EXPECT_EQ(again.Bytes().size(), s.rawPointer + s.rawSize);
      EXPECT_EQ(again.SectionData(3), data);
      EXPECT_EQ(again.SizeOfImage(), AlignTo(uint64_t{s.virtualAddress} + newSize, r.sectionAlign));
      EXPECT_EQ(again.SizeOfInitializedData(), initialised - old.rawSize + s.rawSize);
      EXPECT_EQ(again.Directory(kResourceDirectory).rva, s.virtualAddress);
      EXPECT_EQ(again.Directory(kResourceDirectory).size, newSize);
      EXPECT_EQ(again.Checksum(), PeChecksum(again.Bytes(), kOptAt + 64));
      EXPECT_NE(again.Checksum(), 0u);
      // Nothing before the section moved but the fields above.
      std::string head = again.Bytes().substr(0, s.rawPointer);
      std::string orig = before.substr(0, s.rawPointer);
      for (size_t at : {kOptAt + 8, kOptAt + 56, kOptAt + 64, kOptAt + (r.is64 ? 112u : 96u) + 20})
        head.replace(at, 4, orig.substr(at, 4));
      const size_t h = kOptAt + (r.is64 ? 240 : 224) + 40 * 3;
      for (size_t at : {h + 8, h + 16})
        head.replace(at, 4, orig.substr(at, 4));
      EXPECT_EQ(head, orig);
    }
  }
}

TEST(PeImage, LastSectionOnly) {
  // Resources before the relocations, as a default link lays them out.
  TImageSpec spec = Spec(false, 0x200, 0x1000);
  spec.sections.push_back({".reloc", std::string(12, 'r'), std::nullopt, 0x42000040});
  PeImage image(MakeImage(spec));
  EXPECT_FALSE(image.IsLastSection(3));
  EXPECT_TRUE(image.IsLastSection(4));
  EXPECT_EQ(ToUtf8(ErrorOf([&] { image.ReplaceLastSection("x", kResourceDirectory); })),
            "the section of data directory 2 is not the last one, or does not end the file");
  // Bytes after the last section (a signature, an appended list).
  PeImage overlay(MakeImage(Spec(false, 0x200, 0x1000)) + "tail");
  EXPECT_FALSE(overlay.IsLastSection(3));
  EXPECT_EQ(ToUtf8(ErrorOf([&] { overlay.ReplaceLastSection("x", kResourceDirectory); })),
            "the section of data directory 2 is not the last one, or does not end the file");
  EXPECT_EQ(ToUtf8(ErrorOf([&] { overlay.ReplaceLastSection("x", kRelocationDirectory); })),
            "data directory 5 lies in no section");
}

TEST(PeImage, RefusesWhatIsNoProgram) {
  const std::string good = MakeImage(Spec(false, 0x200, 0x1000));
  struct Row {
    const char* what;
    std::function<void(std::string&)> spoil;
    const char* message;
  } rows[] = {
      {"empty", [](std::string& s) { s.clear(); }, "not a Windows program (no MZ header)"},
      {"no MZ", [](std::string& s) { s[0] = 'X'; }, "not a Windows program (no MZ header)"},
      {"PE header past the end", [](std::string& s) { SetU32(s, 0x3C, 0x7FFFFFF8); },
       "not a Windows program (no PE header)"},
      {"PE header unaligned", [](std::string& s) { SetU32(s, 0x3C, 0x41); },
       "not a Windows program (no PE header)"},
      {"no PE signature", [](std::string& s) { s[kPeAt] = 'N'; },
       "not a Windows program (no PE header)"},
      {"unknown magic", [](std::string& s) { SetU16(s, kOptAt, 0x107); },
       "an unknown PE optional header (magic 0x107)"},
      {"optional header too short", [](std::string& s) { SetU16(s, kPeAt + 20, 64); },
       "the PE optional header is too short"},
      {"too many sections", [](std::string& s) { SetU16(s, kPeAt + 6, 97); },
       "a PE header with 97 sections"},
      {"section table past the end", [](std::string& s) { s.resize(0x180); },
       "the section table lies outside the file"},
      {"alignment no power of two", [](std::string& s) { SetU32(s, kOptAt + 36, 0x300); },
       "unusable alignments: file 0x300, sections 0x1000"},
      {"file alignment above the sections'", [](std::string& s) { SetU32(s, kOptAt + 32, 0x100); },
       "unusable alignments: file 0x200, sections 0x100"},
      {"section past the end", [](std::string& s) { s.resize(s.size() - 1); },
       "section .rsrc lies outside the file"},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.what);
    std::string bytes = good;
    r.spoil(bytes);
    std::u16string message;
    try {
      PeImage image(bytes);
    } catch (const PeError& e) {
      message = e.Message();
    }
    EXPECT_EQ(ToUtf8(message), r.message);
  }
}

TEST(PeImage, Checksum) {
  struct Row {
    std::string file;
    size_t field;
    uint32_t sum;
  } rows[] = {
      {"", 0, 0},
      {std::string("\x01\x02\x03", 3), 100, 0x0201 + 0x03 + 3},
      // The carry goes round: 0xFFFF + 0x0002 is 0x0002.
      {std::string("\xFF\xFF\x02\x00", 4), 100, 0x0002 + 4},
      // The field counts as zeros wherever it lies.
      {std::string("\x10\x00\xAA\xBB\xCC\xDD\x20\x00", 8), 2, 0x30 + 8},
      {std::string("\x10\x00\xAA\xBB\xCC\xDD\x20", 7), 2, 0x30 + 7},
  };
  for (const Row& r : rows)
    EXPECT_EQ(PeChecksum(r.file, r.field), r.sum) << r.file.size();
  // A long run of carries: 50000 words of 0xFFFF fold to 0xFFFF, and the
  // odd last byte makes 0xFFFF + 0x00FF = 0x100FE, folded 0x00FF.
  const std::string ones(100001, '\xFF');
  EXPECT_EQ(PeChecksum(ones, ones.size() + 8), 0x00FFu + 100001u);
}
