#include "tools/ProductInit.h"

#include <filesystem>
#include <system_error>
#include <utility>
#include <vector>

#include "common/Errors.h"
#include "common/Text.h"
#include "fs/Errors.h"
#include "fs/File.h"
#include "tools/DefaultArt.h"

namespace {

const char kTemplate[] =
    "# The product settings of Setup.exe, as stp setup reads them: one\n"
    "# \"Key = Value\" a line, UTF-8; \"#\" starts a comment. Paths are relative to\n"
    "# this file's folder. Every key below must be there (a value may be empty\n"
    "# where it says so); the last three are optional.\n"
    "#\n"
    "# Made by stp init: edit the names, then\n"
    "#   stp setup PRODUCT_FOLDER -o Setup.exe --settings product.settings\n"
    "\n"
    "# The product's name shown in English runs of the wizard (string 1001) and\n"
    "# in Chinese runs (1002).\n"
    "ProductName = @english@\n"
    "ProductNameChinese = @chinese@\n"
    "# The name of the uninstall entry (its \"DisplayName\") and of the shortcuts,\n"
    "# in English and in Chinese (1003, 1004).\n"
    "UninstallName = @english@\n"
    "UninstallNameChinese = @chinese@\n"
    "# The wizard's language: 0 Chinese, 2 English, -1 by the system (Chinese on a\n"
    "# Simplified Chinese system, English on every other).\n"
    "Language = -1\n"
    "# True for the freeware clauses of the licence, False for the shareware ones.\n"
    "Freeware = True\n"
    "# The main program is ShortName.exe at the top of the product folder; the\n"
    "# proposed destination ends in ShortName.\n"
    "ShortName = @short@\n"
    "# Shown after the name and written as \"DisplayVersion\"; its numbers are\n"
    "# the programs' file and product version (\"1.20\" is 1.20.0.0).\n"
    "Version = @version@\n"
    "# Shown after \"Space required: \"; left empty, stp setup writes the size of\n"
    "# the product folder's files (\"6 MB\").\n"
    "SizeText =\n"
    "# The welcome page's banners: baseline JPEG pictures of 160 x 308 in colour.\n"
    "BannerChinese = art/banner-chinese.jpg\n"
    "BannerEnglish = art/banner-english.jpg\n"
    "# The licence and folder pages' picture: a 32 x 32 bitmap of 24 bits.\n"
    "HeaderPicture = art/header.bmp\n"
    "# The program's icon, with 16 x 16 and 32 x 32 images.\n"
    "Icon = art/app.ico\n"
    "\n"
    "# Optional: the version information of Setup.exe and Uninst.exe. The\n"
    "# company is \"Norvane Software\" (诺凡软件 in the Chinese block) when left\n"
    "# out, the description the product's name and \"Setup\"; no copyright is\n"
    "# written when left out.\n"
    "# Company = \n"
    "# Description = \n"
    "# Copyright = \n";

std::string Replace(std::string text, const std::string& from, const std::string& to) {
  for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
    text.replace(at, from.size(), to);
  return text;
}

// A name as one line of a settings file: line breaks become blanks.
std::string OneLine(const std::u16string& text) {
  std::string s = ToUtf8(text);
  for (char& c : s) {
    if (c == '\n' || c == '\r')
      c = ' ';
  }
  return s;
}

}  // namespace

std::string ProductSettingsText(const TProductNames& names) {
  std::u16string shortName = names.shortName;
  if (shortName.empty()) {
    for (char16_t c : names.english) {
      if ((c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z') || (c >= u'0' && c <= u'9'))
        shortName += c;
    }
  }
  if (shortName.empty())
    shortName = u"Product";
  std::string text = kTemplate;
  text = Replace(text, "@english@", OneLine(names.english));
  text = Replace(text, "@chinese@", OneLine(names.chinese.empty() ? names.english : names.chinese));
  text = Replace(text, "@short@", OneLine(shortName));
  text = Replace(text, "@version@", OneLine(names.version.empty() ? u"1.0" : names.version));
  return text;
}

void InitProduct(const std::u16string& dir, const TProductNames& names) {
  const std::u16string top =
      dir.empty() || dir.back() == u'/' || dir.back() == u'\\' ? dir : dir + u"/";
  const std::vector<std::pair<std::u16string, std::string>> files = {
      {top + u"product.settings", ProductSettingsText(names)},
      {top + u"art/banner-chinese.jpg", DefaultBanner(true)},
      {top + u"art/banner-english.jpg", DefaultBanner(false)},
      {top + u"art/header.bmp", DefaultHeaderPicture()},
      {top + u"art/app.ico", DefaultIcon()},
  };
  for (const auto& [path, bytes] : files) {
    if (FileExists(path))
      throw Error(path + u" is there already: stp init replaces nothing (give another folder)");
  }
  // The publisher's own folder, made as the publisher: nothing here runs
  // with rights that others could steer.
  std::error_code failed;
  std::filesystem::create_directories(ToFsPath(top + u"art"), failed);
  if (failed)
    throw FileError(u"cannot make the folder " + top + u"art: " + FromUtf8(failed.message()));
  for (const auto& [path, bytes] : files) {
    OutFile file(path);
    file.Write(bytes.data(), bytes.size());
    file.Close();
  }
}
