// What Setup.exe carries: the product strings, the pictures, the icons, the
// manifest and a package that the extractor reads.
#include <windows.h>

#include <gtest/gtest.h>
#include <jpeglib.h>

#include <cstdio>
#include <fstream>
#include <string>

#include "common/Text.h"
#include "common/tests/TestData.h"
#include "package/Extractor.h"
#include "shell/Drives.h"
#include "testsupport/Files.h"
#include "ui/Layout.h"
#include "win/AnsiCodePage.h"
#include "win/WideText.h"

namespace {

const WORD kChinese = MAKELANGID(LANG_CHINESE, SUBLANG_CHINESE_SIMPLIFIED);

std::u16string String(UINT id) {
  wchar_t buffer[256] = {};
  const int n = LoadStringW(GetModuleHandleW(nullptr), id, buffer, 256);
  return std::u16string(reinterpret_cast<const char16_t*>(buffer), static_cast<size_t>(n));
}

std::string Raw(const wchar_t* type, const wchar_t* name) {
  HMODULE self = GetModuleHandleW(nullptr);
  HRSRC r = FindResourceW(self, name, type);
  if (r == nullptr)
    return {};
  HGLOBAL g = LoadResource(self, r);
  const char* data = static_cast<const char*>(LockResource(g));
  return std::string(data, SizeofResource(self, r));
}

std::string SourceFile(const std::string& rel) {
  std::ifstream in(TestDataDir() + "/" + rel, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), {});
}

}  // namespace

TEST(Resources, TheProductStringsInChinesePrc) {
  EXPECT_EQ(String(1001), u"Norvane Drawlet");
  EXPECT_EQ(String(1002), u"诺凡画图");
  EXPECT_EQ(String(1003), u"Norvane Drawlet");
  EXPECT_EQ(String(1004), u"诺凡画图");
  EXPECT_EQ(String(1007), u"0");
  EXPECT_EQ(String(1009), u"-1");
  EXPECT_EQ(String(1010), u"Drawlet");
  EXPECT_EQ(String(1011), u"3.50");
  EXPECT_EQ(String(1012), u"6 MB");
  for (UINT absent : {1005u, 1006u, 1008u})
    EXPECT_EQ(String(absent), u"") << absent;
  // Strings 1001-1012 sit in the blocks named 63 and 64 (id / 16 + 1).
  for (UINT block : {63u, 64u}) {
    EXPECT_NE(
        FindResourceExW(GetModuleHandleW(nullptr), RT_STRING, MAKEINTRESOURCEW(block), kChinese),
        nullptr)
        << block;
  }
}

TEST(Resources, BannersAreBaselineJpegsOf160By308) {
  for (const wchar_t* name : {L"IMAGELEFT0", L"ImageLeft2"}) {
    const std::string jpeg = Raw(RT_RCDATA, name);
    ASSERT_FALSE(jpeg.empty());
    jpeg_decompress_struct d{};
    jpeg_error_mgr err{};
    d.err = jpeg_std_error(&err);
    jpeg_create_decompress(&d);
    jpeg_mem_src(&d, reinterpret_cast<const unsigned char*>(jpeg.data()),
                 static_cast<unsigned long>(jpeg.size()));
    ASSERT_EQ(jpeg_read_header(&d, TRUE), JPEG_HEADER_OK);
    EXPECT_EQ(d.image_width, 160u);
    EXPECT_EQ(d.image_height, 308u);
    EXPECT_EQ(d.num_components, 3);
    EXPECT_FALSE(d.progressive_mode);
    jpeg_destroy_decompress(&d);
  }
}

TEST(Resources, HeaderPictureAndIcons) {
  HBITMAP bmp = static_cast<HBITMAP>(
      LoadImageW(GetModuleHandleW(nullptr), L"ImageIcon", IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
  ASSERT_NE(bmp, nullptr);
  BITMAP info{};
  GetObjectW(bmp, sizeof info, &info);
  EXPECT_EQ(info.bmWidth, 32);
  EXPECT_EQ(info.bmHeight, 32);
  EXPECT_EQ(info.bmBitsPixel, 24);
  DeleteObject(bmp);
  for (const wchar_t* group : {L"AppIcon", L"MAINICON"}) {
    EXPECT_NE(FindResourceW(GetModuleHandleW(nullptr), group, RT_GROUP_ICON), nullptr);
    for (int size : {16, 32}) {
      HICON icon = static_cast<HICON>(
          LoadImageW(GetModuleHandleW(nullptr), group, IMAGE_ICON, size, size, 0));
      EXPECT_NE(icon, nullptr) << size;
      if (icon)
        DestroyIcon(icon);
    }
  }
}

TEST(Resources, TheManifestAsksForAdministratorsAndNothingElse) {
  const std::string manifest = Raw(RT_MANIFEST, MAKEINTRESOURCEW(1));
  EXPECT_EQ(manifest, SourceFile("resources/setup.manifest"));
  EXPECT_NE(manifest.find("level=\"requireAdministrator\" uiAccess=\"false\""), std::string::npos);
  EXPECT_EQ(manifest.find("dependency"), std::string::npos);
}

TEST(Resources, TheEmbeddedPackageUnpacks) {
  const std::string package = Raw(L"StpFile", L"SetupPackage");
  ASSERT_GT(package.size(), 7u);
  EXPECT_EQ(static_cast<unsigned char>(package[0]), 0x78);
  EXPECT_EQ(static_cast<unsigned char>(package[1]), 0xDA);
  const std::u16string dir =
      U(testsupport::ScratchFolder("resources-test").wstring().c_str()) + u"\\";
  const std::u16string file = dir + u"Setup.stp";
  {
    std::FILE* f = _wfopen(W(file), L"wb");
    ASSERT_NE(f, nullptr);
    std::fwrite(package.data(), 1, package.size(), f);
    std::fclose(f);
  }
  TExtractOptions options;
  options.codePage = &AnsiCodePage();
  options.systemDir = [] { return GetSystemDir(); };
  ExtractPackage(file, dir, u"", nullptr, options);
  for (const char16_t* name : {u"readme.txt", u"help\\index.htm", u"Drawlet.exe", u"Uninst.exe"}) {
    EXPECT_NE(GetFileAttributesW(W(dir + name)), INVALID_FILE_ATTRIBUTES) << ToUtf8(name);
  }
  EXPECT_NE(GetFileAttributesW(W(GetSystemDir() + u"NvDrawlet.dat")), INVALID_FILE_ATTRIBUTES);
}

TEST(Resources, BothLayoutsParse) {
  EXPECT_EQ(ParseLayout(Raw(RT_RCDATA, L"TFORM1")).size(), 36u);
  EXPECT_EQ(ParseLayout(Raw(RT_RCDATA, L"TFRMCONFLICT")).size(), 7u);
}
