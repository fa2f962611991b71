// The settings file, the pictures' checks and the stamping of a stub made
// in memory: every product resource in place, the stub's own kept, and the
// stubs that are refused.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>

#include "common/Text.h"
#include "common/tests/ErrorOf.h"
#include "common/tests/TestData.h"
#include "fs/File.h"
#include "pe/PeImage.h"
#include "pe/tests/PeFixture.h"
#include "testsupport/Files.h"
#include "tools/ProductInit.h"
#include "tools/ProductSettings.h"
#include "tools/SetupStamp.h"

namespace {

const char kSettings[] =
    "# comment\n"
    "ProductName = Norvane Drawlet\n"
    "ProductNameChinese = 诺凡画图\n"
    "  UninstallName=Norvane Drawlet  \r\n"
    "UninstallNameChinese = 诺凡画图\n"
    "\n"
    "Language = -1\n"
    "Freeware = False\n"
    "ShortName = Drawlet\n"
    "Version = 3.50\n"
    "SizeText = \n"
    "BannerChinese = art/IMAGELEFT0.jpg\n"
    "BannerEnglish = art/IMAGELEFT2.jpg\n"
    "HeaderPicture = art/ImageIcon.bmp\n"
    "Icon = art/app.ico\n";

std::string Art(const char* name) {
  return ReadFileBytes(FromUtf8(TestDataDir() + "/resources/art/" + name));
}

// A settings file in a folder of its own beside copies of the sample's
// pictures.
std::u16string WriteSettings(const std::string& text) {
  namespace fs = std::filesystem;
  const fs::path dir = testsupport::ScratchFolder("stamp-test");
  fs::create_directories(dir / "art");
  for (const char* f : {"IMAGELEFT0.jpg", "IMAGELEFT2.jpg", "ImageIcon.bmp", "app.ico"}) {
    const std::string bytes = Art(f);
    std::ofstream(dir / "art" / f, std::ios::binary)
        .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  }
  std::ofstream(dir / "product.settings", std::ios::binary) << text;
  return FromFsPath(dir / "product.settings");
}

std::string Replace(std::string text, const std::string& from, const std::string& to) {
  text.replace(text.find(from), from.size(), to);
  return text;
}

// A stub as the build makes one: the mark, the manifest, the program's own
// icon and a layout in its resource section, which comes last.
TResourceTree StubTree() {
  TResourceTree t;
  t[{TResourceId::Number(kRtRcData), TResourceId::Name(u"SETUPSTUB"), 2052}] = {kStubMark, 0};
  t[{TResourceId::Number(kRtManifest), TResourceId::Number(1), 2052}] = {"<assembly/>", 0};
  t[{TResourceId::Number(kRtRcData), TResourceId::Name(u"TFORM1"), 2052}] = {"#layout", 0};
  PutIconGroup(t, TResourceId::Name(u"MAINICON"), 2052, ParseIconFile(Art("main.ico")));
  return t;
}

std::string Stub(const TResourceTree& tree, bool relocationsLast = false) {
  TImageSpec spec;
  spec.sections = {{".text", std::string(3000, '\x90'), std::nullopt, 0x60000020},
                   {".rsrc", "", tree, 0x40000040}};
  if (relocationsLast)
    spec.sections.push_back({".reloc", std::string(8, '\0'), std::nullopt, 0x42000040});
  return MakeImage(spec);
}

TResourceTree ResourcesOf(const std::string& program) {
  PeImage image(program);
  const TDataDirectory d = image.Directory(kResourceDirectory);
  return ReadResourceTree(image.SectionData(image.SectionOf(d.rva)), d.rva);
}

}  // namespace

TEST(ProductSettings, ReadsEveryKeyAndRefusesTheRest) {
  const auto values = ParseProductSettings(std::string("\xEF\xBB\xBF") + kSettings, u"p");
  EXPECT_EQ(values.size(), 13u);
  EXPECT_EQ(ToUtf8(values.at(u"ProductNameChinese")), "诺凡画图");
  EXPECT_EQ(ToUtf8(values.at(u"UninstallName")), "Norvane Drawlet");
  EXPECT_EQ(values.at(u"SizeText"), u"");
  struct Row {
    std::string text;
    const char* message;
  } rows[] = {
      {Replace(kSettings, "Version", "Versoin"), "p:10: unknown key 'Versoin'"},
      {std::string(kSettings) + "Version = 4\n", "p:16: the key 'Version' is given twice"},
      {Replace(kSettings, "Version = 3.50", "Version 3.50"),
       "p:10: a line is not 'Key = Value': Version 3.50"},
      {Replace(kSettings, "Language", "Lang uage"),
       "p:7: a line is not 'Key = Value': Lang uage = -1"},
      {Replace(Replace(kSettings, "Icon = art/app.ico\n", ""), "ShortName = Drawlet\n", ""),
       "p: missing keys: ShortName, Icon"},
  };
  for (const Row& r : rows)
    EXPECT_EQ(ToUtf8(ErrorOf([&] { ParseProductSettings(r.text, u"p"); })), r.message);
}

TEST(ProductSettings, ChecksThePictures) {
  const std::string jpeg = Art("IMAGELEFT0.jpg");
  const std::string bmp = Art("ImageIcon.bmp");
  EXPECT_EQ(ErrorOf([&] { CheckBanner(jpeg); }), u"");
  EXPECT_EQ(ErrorOf([&] { CheckHeaderPicture(bmp); }), u"");
  const size_t frame = jpeg.find("\xFF\xC0");
  ASSERT_NE(frame, std::string::npos);
  auto jpegWith = [&](size_t at, std::string bytes) {
    std::string j = jpeg;
    j.replace(at, bytes.size(), bytes);
    return j;
  };
  auto bmpWith = [&](size_t at, uint32_t v) {
    std::string b = bmp;
    SetU32(b, at, v);
    return b;
  };
  struct Row {
    const char* what;
    std::function<void()> check;
    const char* message;
  } rows[] = {
      {"no JPEG", [&] { CheckBanner(bmp); }, "not a JPEG file"},
      {"progressive", [&] { CheckBanner(jpegWith(frame, "\xFF\xC2")); },
       "a JPEG that is not baseline (progressive or another coding): save it as a baseline JPEG"},
      {"wider", [&] { CheckBanner(jpegWith(frame + 7, std::string("\x00\xA1", 2))); },
       "a JPEG of 161 x 308 with 3 components; the banner is 160 x 308 with three (colour)"},
      {"grey", [&] { CheckBanner(jpegWith(frame + 9, std::string(1, '\x01'))); },
       "a JPEG of 160 x 308 with 1 components; the banner is 160 x 308 with three (colour)"},
      {"cut before its frame", [&] { CheckBanner(jpeg.substr(0, frame)); },
       "a JPEG file without a frame header"},
      {"no bitmap", [&] { CheckHeaderPicture(jpeg); }, "not a bitmap file (no BM header)"},
      {"48 wide", [&] { CheckHeaderPicture(bmpWith(18, 48)); },
       "a bitmap of 48 x 32 with 24 bits a pixel; the header picture is 32 x 32 with 24"},
      {"32 bits", [&] { CheckHeaderPicture(bmpWith(28, 32)); },
       "a bitmap of 32 x 32 with 32 bits a pixel; the header picture is 32 x 32 with 24"},
      {"compressed", [&] { CheckHeaderPicture(bmpWith(30, 1)); },
       "a compressed bitmap; the header picture is uncompressed"},
      {"cut short", [&] { CheckHeaderPicture(bmp.substr(0, 1000)); }, "a bitmap file cut short"},
      {"an icon without 16 x 16",
       [&] {
         auto images = ParseIconFile(Art("app.ico"));
         images.pop_back();
         CheckIcon(images);
       },
       "an icon with images of 32 x 32; it needs 16 x 16 and 32 x 32"},
  };
  for (const Row& r : rows)
    EXPECT_EQ(ToUtf8(ErrorOf(r.check)), r.message) << r.what;
}

TEST(ProductSettings, LoadsAndNamesTheKeyAtFault) {
  const TProductResources p = LoadProductResources(WriteSettings(kSettings));
  EXPECT_EQ(ToUtf8(p.strings.at(1002)), "诺凡画图");
  EXPECT_EQ(p.strings.at(1007), u"-1");
  EXPECT_EQ(p.bannerEnglish, Art("IMAGELEFT2.jpg"));
  EXPECT_EQ(p.headerBitmap, Art("ImageIcon.bmp").substr(14));
  EXPECT_EQ(p.icon.size(), 2u);
  struct Row {
    std::string text;
    const char* message;  // after "<file>: "
  } rows[] = {
      {Replace(kSettings, "Language = -1", "Language = 1"),
       "Language: '1' is none of 0 (Chinese), 2 (English), -1 (by the system's code page)"},
      {Replace(kSettings, "Freeware = False", "Freeware = maybe"),
       "Freeware: 'maybe' is neither True, False nor a number"},
      {Replace(kSettings, "Version = 3.50", "Version = " + std::string(65536, '9')),
       "Version: the text is 65536 UTF-16 units long; a string table holds at most 65535"},
      {Replace(kSettings, "Icon = art/app.ico", "Icon ="), "Icon: no picture given"},
      {Replace(kSettings, "art/IMAGELEFT2.jpg", "art/ImageIcon.bmp"), "BannerEnglish: "},
  };
  for (const Row& r : rows) {
    const std::u16string path = WriteSettings(r.text);
    const std::string message = ToUtf8(ErrorOf([&] { LoadProductResources(path); }));
    EXPECT_EQ(message.rfind(ToUtf8(path) + ": " + r.message, 0), 0u) << message;
  }
}

TEST(SetupStamp, PutsTheProductIntoTheStub) {
  TResourceTree tree = StubTree();
  // What the stub may already hold under the product's names goes.
  PutStringTable(tree, {{1001, u"old"}, {1005, u"old too"}, {1013, u"the stub's own"}}, 2052);
  PutIconGroup(tree, TResourceId::Name(u"APPICON"), 1033, ParseIconFile(Art("main.ico")));
  tree[{TResourceId::Number(kRtRcData), TResourceId::Name(u"IMAGELEFT0"), 1033}] = {"old", 0};
  tree[{TResourceId::Name(u"STPFILE"), TResourceId::Name(u"SETUPPACKAGE"), 0}] = {"old", 0};
  // And extra resources stay.
  tree[{TResourceId::Name(u"EXTRA"), TResourceId::Number(5), 0}] = {"extra", 0};

  const TProductResources product = LoadProductResources(WriteSettings(kSettings));
  const std::string stub = Stub(tree);
  const std::string setup = StampSetup(stub, product, ExtentOf("the package")).Bytes("the package");
  const TResourceTree out = ResourcesOf(setup);

  auto strings = product.strings;
  strings.erase(1012);  // empty
  strings[1013] = u"the stub's own";
  EXPECT_EQ(ReadStringTable(out, 2052), strings);
  auto at = [&](TResourceId type, const char16_t* name) {
    std::vector<std::pair<uint16_t, std::string>> found;
    for (const auto& [k, d] : out) {
      if (k.type == type && k.name == TResourceId::Name(name))
        found.push_back({k.language, d.bytes});
    }
    return found;
  };
  using Found = std::vector<std::pair<uint16_t, std::string>>;
  EXPECT_EQ(at(TResourceId::Number(kRtRcData), u"IMAGELEFT0"),
            (Found{{2052, Art("IMAGELEFT0.jpg")}}));
  EXPECT_EQ(at(TResourceId::Number(kRtRcData), u"IMAGELEFT2"),
            (Found{{2052, Art("IMAGELEFT2.jpg")}}));
  EXPECT_EQ(at(TResourceId::Number(kRtBitmap), u"IMAGEICON"),
            (Found{{2052, Art("ImageIcon.bmp").substr(14)}}));
  EXPECT_EQ(at(TResourceId::Name(u"STPFILE"), u"SETUPPACKAGE"), (Found{{2052, "the package"}}));
  EXPECT_EQ(at(TResourceId::Number(kRtRcData), u"SETUPSTUB"), Found{});
  EXPECT_EQ(ReadIconGroup(out, TResourceId::Name(u"APPICON"), 2052), ParseIconFile(Art("app.ico")));
  EXPECT_TRUE(ReadIconGroup(out, TResourceId::Name(u"APPICON"), 1033).empty());
  EXPECT_EQ(ReadIconGroup(out, TResourceId::Name(u"MAINICON"), 2052),
            ParseIconFile(Art("main.ico")));
  EXPECT_EQ(at(TResourceId::Name(u"EXTRA"), u"X"), Found{});
  EXPECT_EQ(out.at({TResourceId::Name(u"EXTRA"), TResourceId::Number(5), 0}).bytes, "extra");
  EXPECT_EQ(out.at({TResourceId::Number(kRtManifest), TResourceId::Number(1), 2052}).bytes,
            "<assembly/>");
  // The images of the groups: MAINICON's two and APPICON's two, no others.
  size_t images = 0;
  for (const auto& [k, d] : out)
    images += k.type == TResourceId::Number(kRtIcon) ? 1 : 0;
  EXPECT_EQ(images, 4u);
  // The code before the resources is the stub's, byte for byte.
  const PeImage in(stub);
  EXPECT_EQ(setup.substr(0, in.Sections()[1].rawPointer).substr(0x200),
            stub.substr(0, in.Sections()[1].rawPointer).substr(0x200));
  // The package (of odd length) written apart from the head: the check sum
  // covers the whole file, which ends on the file alignment.
  const PeImage stamped(setup);
  EXPECT_EQ(stamped.Checksum(), PeChecksum(setup, PeHeaderOffset(setup) + kNtHeadersSize + 64));
  EXPECT_EQ(setup.size() % stamped.FileAlignment(), 0u);
  // The same input, the same bytes.
  EXPECT_EQ(StampSetup(stub, product, ExtentOf("the package")).Bytes("the package"), setup);
}

TEST(SetupStamp, RefusesStubsItCannotStamp) {
  TResourceTree unmarked = StubTree();
  unmarked.erase({TResourceId::Number(kRtRcData), TResourceId::Name(u"SETUPSTUB"), 2052});
  TResourceTree otherMark = StubTree();
  otherMark[{TResourceId::Number(kRtRcData), TResourceId::Name(u"SETUPSTUB"), 2052}].bytes =
      "Another kit";
  std::string signedStub = Stub(StubTree());
  SetU32(signedStub, kOptAt + 96 + 32, static_cast<uint32_t>(signedStub.size()));
  SetU32(signedStub, kOptAt + 96 + 36, 8);
  signedStub += std::string(8, '\0');
  std::string noResources = Stub(StubTree());
  SetU32(noResources, kOptAt + 96 + 16, 0);
  struct Row {
    const char* what;
    std::string stub;
    const char* message;
  } rows[] = {
      {"no program", "MZ but nothing more",
       "the stub is no Windows program: not a Windows program (no MZ header)"},
      {"signed", signedStub,
       "the stub is signed: its signature would not cover the product. Give the unsigned stub "
       "and sign the Setup.exe made (--sign-cert, --sign-key)"},
      {"no resources", noResources, "the stub holds no resources: it is no setup stub of this kit"},
      {"relocations after the resources", Stub(StubTree(), true),
       "the stub's resource section is not its last (or bytes follow it): it is no setup stub "
       "of this kit"},
      {"bytes appended", Stub(StubTree()) + "list",
       "the stub's resource section is not its last (or bytes follow it): it is no setup stub "
       "of this kit"},
      {"no mark", Stub(unmarked),
       "the stub carries no mark of this kit's stub: give the SetupStub.exe of the kit"},
      {"another mark", Stub(otherMark),
       "the stub carries no mark of this kit's stub: give the SetupStub.exe of the kit"},
  };
  const TProductResources product = LoadProductResources(WriteSettings(kSettings));
  for (const Row& r : rows) {
    EXPECT_EQ(ToUtf8(ErrorOf([&] { StampSetup(r.stub, product, ExtentOf("p")); })), r.message)
        << r.what;
    EXPECT_EQ(ToUtf8(ErrorOf([&] { ReadStub(r.stub); })), r.message) << r.what;
  }
}

// stp init's folder: the settings load, every picture passing the checks,
// with the names given (on one line each) or their defaults; a second init
// into the same folder replaces nothing.
TEST(ProductInit, WritesSettingsThatLoad) {
  namespace fs = std::filesystem;
  struct Row {
    TProductNames names;
    const char16_t* chinese;
    const char16_t* shortName;
    const char16_t* version;
  } rows[] = {
      {{u"Norvane Clockrun", u"诺凡定时助手", u"Clockrun", u"1.20"},
       u"诺凡定时助手",
       u"Clockrun",
       u"1.20"},
      {{u"Tiny Tool 2", u"", u"", u""}, u"Tiny Tool 2", u"TinyTool2", u"1.0"},
      {{u"Two\nlines", u"", u"", u""}, u"Two lines", u"Twolines", u"1.0"},
  };
  for (const Row& r : rows) {
    const fs::path dir = fs::temp_directory_path() / ("init-test-" + ToUtf8(r.shortName));
    fs::remove_all(dir);
    InitProduct(FromFsPath(dir), r.names);
    const std::u16string settings = FromFsPath(dir / "product.settings");
    TProductResources product;
    EXPECT_EQ(ErrorOf([&] { product = LoadProductResources(settings); }), u"");
    EXPECT_EQ(product.strings[1002], r.chinese);
    EXPECT_EQ(product.strings[1010], r.shortName);
    EXPECT_EQ(product.strings[1011], r.version);
    EXPECT_EQ(product.strings[1012], u"");  // computed by stp setup
    EXPECT_NE(ErrorOf([&] { InitProduct(FromFsPath(dir), r.names); }).find(u"replaces nothing"),
              std::u16string::npos);
    fs::remove_all(dir);
  }
}
