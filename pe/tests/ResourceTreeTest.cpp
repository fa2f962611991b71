// The resource tree read and written: round trips of every kind of resource,
// the order the system's search needs, hostile trees, string tables and
// icon groups.
#include <gtest/gtest.h>

#include <functional>

#include "common/Text.h"
#include "common/tests/ErrorOf.h"
#include "pe/PeImage.h"
#include "pe/ResourceForms.h"
#include "pe/ResourceTree.h"
#include "pe/tests/PeFixture.h"

namespace {

TResourceKey Key(uint16_t type, std::u16string name, uint16_t language = 2052) {
  return {TResourceId::Number(type), TResourceId::Name(name), language};
}

TResourceKey Key(uint16_t type, uint16_t name, uint16_t language = 2052) {
  return {TResourceId::Number(type), TResourceId::Number(name), language};
}

// An icon file of the given square sizes, each image a header and a few bytes.
std::string IconFile(std::vector<int> sizes) {
  std::string f(6 + 16 * sizes.size(), '\0');
  SetU16(f, 2, 1);
  SetU16(f, 4, static_cast<uint32_t>(sizes.size()));
  for (size_t i = 0; i < sizes.size(); ++i) {
    std::string image(40 + static_cast<size_t>(sizes[i]), static_cast<char>('a' + i));
    SetU32(image, 0, 40);
    SetU16(image, 12, 1);
    SetU16(image, 14, 32);
    const size_t e = 6 + 16 * i;
    f[e] = static_cast<char>(sizes[i] == 256 ? 0 : sizes[i]);
    f[e + 1] = f[e];
    SetU32(f, e + 8, static_cast<uint32_t>(image.size()));
    SetU32(f, e + 12, static_cast<uint32_t>(f.size()));
    f += image;
  }
  return f;
}

// A tree of every kind the setup program carries, and more.
TResourceTree EveryKind() {
  TResourceTree t;
  PutStringTable(
      t, {{1001, u"Norvane Drawlet"}, {1002, u"诺凡画图"}, {1007, u"0"}, {1012, u"6 MB"}}, 2052);
  PutStringTable(t, {{1001, u"English too"}}, 1033);
  PutIconGroup(t, TResourceId::Name(u"MainIcon"), 2052, ParseIconFile(IconFile({32, 16})));
  PutIconGroup(t, TResourceId::Name(u"AppIcon"), 2052, ParseIconFile(IconFile({16, 32, 256})));
  t[Key(kRtBitmap, u"ImageIcon")] = {std::string(40 + 3072, 'b'), 0};
  t[Key(kRtRcData, u"IMAGELEFT0")] = {"\xFF\xD8 jpeg", 0};
  t[Key(kRtRcData, u"TFORM1")] = {"#layout", 0};
  t[Key(kRtManifest, 1)] = {"<assembly/>", 65001};
  t[Key(kRtVersion, 1, 1033)] = {std::string(92, 'v'), 1200};
  t[{TResourceId::Name(u"StpFile"), TResourceId::Name(u"SetupPackage"), 2052}] = {
      std::string(1, '\0'), 0};
  t[Key(kRtRcData, u"EMPTY")] = {"", 0};
  t[Key(kRtRcData, u"ODD")] = {"abc", 0};
  t[Key(kRtRcData, 7)] = {"seven", 0};
  t[{TResourceId::Name(u"Z"), TResourceId::Number(1), 0}] = {"z", 0};
  return t;
}

}  // namespace

TEST(ResourceTree, RoundTripsEveryKindAtAnyAddress) {
  const TResourceTree tree = EveryKind();
  for (uint32_t rva : {0x1000u, 0x2345u, 0x7FFF0000u}) {
    SCOPED_TRACE(rva);
    const std::string section = WriteResourceSection(tree, rva);
    EXPECT_EQ(ReadResourceTree(section, rva), tree);
    // The same tree writes the same bytes.
    EXPECT_EQ(WriteResourceSection(ReadResourceTree(section, rva), rva), section);
    // The string table and the icons read back through their forms.
    const TResourceTree back = ReadResourceTree(section, rva);
    const auto strings = ReadStringTable(back, 2052);
    EXPECT_EQ(ToUtf8(strings.at(1002)), "诺凡画图");
    EXPECT_EQ(strings.size(), 4u);
    const auto icons = ReadIconGroup(back, TResourceId::Name(u"APPICON"), 2052);
    EXPECT_EQ(icons, ParseIconFile(IconFile({16, 32, 256})));
  }
}

TEST(ResourceTree, DirectoriesInTheOrderOfTheSystemsSearch) {
  TResourceTree t;
  for (const char16_t* name : {u"b", u"A", u"_x", u"a1"})
    t[Key(kRtRcData, name)] = {"1", 0};
  for (uint16_t id : {9, 3, 300})
    t[Key(kRtRcData, id)] = {"2", 0};
  const std::string s = WriteResourceSection(t, 0x1000);
  // The RCDATA directory: four named entries, then three numbered.
  const size_t dir = GetU32(s, 16 + 4) & 0x7FFFFFFF;
  EXPECT_EQ(GetU32(s, dir + 12), 4u | 3u << 16);
  std::vector<std::string> order;
  for (size_t i = 0; i < 7; ++i) {
    const uint32_t name = GetU32(s, dir + 16 + 8 * i);
    if (name & 0x80000000) {
      const size_t at = name & 0x7FFFFFFF;
      std::string text;
      for (size_t k = 0; k < static_cast<uint8_t>(s[at]); ++k)
        text += s[at + 2 + 2 * k];
      order.push_back(text);
    } else {
      order.push_back(std::to_string(name));
    }
  }
  EXPECT_EQ(order, (std::vector<std::string>{"A", "A1", "B", "_X", "3", "9", "300"}));
}

TEST(ResourceTree, RefusesHostileTrees) {
  TResourceTree one;
  one[Key(kRtRcData, u"X")] = {"data", 0};
  const std::string good = WriteResourceSection(one, 0x1000);
  // Layout of `good`: root (16+8), type dir at 24 (16+8), name dir at 48
  // (16+8), the name "X" at 72, the data entry at 80, the data at 96.
  struct Row {
    const char* what;
    std::function<void(std::string&)> spoil;
    const char* message;
  } rows[] = {
      {"root cut short", [](std::string& s) { s.resize(10); },
       "the resource tree points outside its section"},
      {"entries past the end", [](std::string& s) { SetU16(s, 14, 5000); },
       "the resource tree points outside its section"},
      {"a subdirectory past the end", [](std::string& s) { SetU32(s, 20, 0x80100000); },
       "the resource tree points outside its section"},
      {"a loop back to the root", [](std::string& s) { SetU32(s, 44, 0x80000000); },
       "a resource directory is reached twice"},
      {"data at the type level", [](std::string& s) { SetU32(s, 20, 80); },
       "a resource tree that is not three levels deep"},
      {"a directory at the language level", [](std::string& s) { SetU32(s, 68, 0x80000018); },
       "a resource tree that is not three levels deep"},
      {"a named language", [](std::string& s) { SetU32(s, 64, 0x80000048); },
       "a resource language that is a name"},
      {"a name past the end", [](std::string& s) { SetU32(s, 40, 0x80FFFFFF); },
       "the resource tree points outside its section"},
      {"a name longer than the section", [](std::string& s) { SetU16(s, 72, 0xFFFF); },
       "the resource tree points outside its section"},
      {"an empty name", [](std::string& s) { SetU16(s, 72, 0); }, "a resource with an empty name"},
      {"an id past 65535", [](std::string& s) { SetU32(s, 16, 0x10000); },
       "a resource id past 65535"},
      {"data before the section", [](std::string& s) { SetU32(s, 80, 0xFFF); },
       "the data of resource RCDATA X (2052) lies outside the resource section"},
      {"data past the section", [](std::string& s) { SetU32(s, 84, 0xFFFFFFFF); },
       "the data of resource RCDATA X (2052) lies outside the resource section"},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.what);
    std::string s = good;
    r.spoil(s);
    std::u16string message;
    try {
      ReadResourceTree(s, 0x1000);
    } catch (const PeError& e) {
      message = e.Message();
    }
    EXPECT_EQ(ToUtf8(message), r.message);
  }
  // One id twice in a directory.
  TResourceTree two;
  two[Key(kRtRcData, 1)] = {"a", 0};
  two[Key(kRtRcData, 2)] = {"b", 0};
  std::string s = WriteResourceSection(two, 0);
  const size_t dir = GetU32(s, 20) & 0x7FFFFFFF;
  SetU32(s, dir + 24, 1);
  EXPECT_EQ(ToUtf8(ErrorOf([&] { ReadResourceTree(s, 0); })),
            "a resource directory names one id twice");
}

TEST(ResourceForms, StringTables) {
  TResourceTree t;
  // Ids at the blocks' edges, an empty text left out, one in another block.
  const std::map<uint16_t, std::u16string> strings = {
      {0, u"zero"}, {15, u"fifteen"}, {16, u"sixteen"}, {1007, u"x"}, {1008, u""}, {1012, u"y"}};
  PutStringTable(t, strings, 2052);
  auto expected = strings;
  expected.erase(1008);
  EXPECT_EQ(ReadStringTable(t, 2052), expected);
  EXPECT_EQ(t.size(), 4u);  // blocks 1, 2, 63, 64
  EXPECT_TRUE(t.count(Key(kRtString, 63)) && t.count(Key(kRtString, 64)));
  EXPECT_TRUE(ReadStringTable(t, 1033).empty());
  // The longest text a table holds, and one more.
  PutStringTable(t, {{1001, std::u16string(kMaxTableString, u'a')}}, 2052);
  EXPECT_EQ(ReadStringTable(t, 2052).at(1001).size(), kMaxTableString);
  EXPECT_EQ(ToUtf8(ErrorOf([&] {
              PutStringTable(t, {{1003, std::u16string(kMaxTableString + 1, u'a')}}, 2052);
            })),
            "string 1003 is 65536 UTF-16 units long; a string table holds at most 65535");
  // A block cut short.
  t[Key(kRtString, 63)].bytes.resize(7);
  EXPECT_NE(ErrorOf([&] { ReadStringTable(t, 2052); }), u"");
}

TEST(ResourceForms, IconGroupsNumberAfterTheProgramsAndReplaceOnlyTheirOwn) {
  TResourceTree t;
  PutIconGroup(t, TResourceId::Name(u"MAINICON"), 2052, ParseIconFile(IconFile({32, 16})));
  t[Key(kRtIcon, 7)] = {"a stray image", 0};
  const auto app = ParseIconFile(IconFile({16, 32, 48}));
  PutIconGroup(t, TResourceId::Name(u"APPICON"), 2052, app);
  EXPECT_TRUE(t.count(Key(kRtIcon, 8)) && t.count(Key(kRtIcon, 10)));
  EXPECT_EQ(ReadIconGroup(t, TResourceId::Name(u"APPICON"), 2052), app);
  // Put again: its three images go, the other group's and the stray stay.
  const auto smaller = ParseIconFile(IconFile({16, 32}));
  PutIconGroup(t, TResourceId::Name(u"APPICON"), 2052, smaller);
  EXPECT_FALSE(t.count(Key(kRtIcon, 10)));
  EXPECT_TRUE(t.count(Key(kRtIcon, 1)) && t.count(Key(kRtIcon, 2)) && t.count(Key(kRtIcon, 7)));
  EXPECT_EQ(ReadIconGroup(t, TResourceId::Name(u"APPICON"), 2052), smaller);
  EXPECT_EQ(ReadIconGroup(t, TResourceId::Name(u"MAINICON"), 2052),
            ParseIconFile(IconFile({32, 16})));
  // A group naming an image that is not there.
  t.erase(Key(kRtIcon, 1));
  EXPECT_NE(ErrorOf([&] { ReadIconGroup(t, TResourceId::Name(u"MAINICON"), 2052); }), u"");
}

TEST(ResourceForms, RefusesBrokenIconFiles) {
  struct Row {
    const char* what;
    std::string file;
    const char* message;
  } rows[] = {
      {"empty", "", "not an icon file"},
      {"a cursor",
       [] {
         std::string f = IconFile({16});
         SetU16(f, 2, 2);
         return f;
       }(),
       "not an icon file"},
      {"no images", std::string("\0\0\1\0\0\0", 6), "an icon file without images"},
      {"directory cut short", IconFile({16, 32}).substr(0, 30),
       "an icon file cut short in its directory"},
      {"image past the end",
       [] {
         std::string f = IconFile({16, 32});
         f.pop_back();
         return f;
       }(),
       "image 2 lies outside the icon file"},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.what);
    EXPECT_EQ(ToUtf8(ErrorOf([&] { ParseIconFile(r.file); })), r.message);
  }
}
