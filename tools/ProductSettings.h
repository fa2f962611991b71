// A product's settings file, as the build and stp setup read it: one
// "Key = Value" a line in UTF-8, "#" comments and blank lines, pictures named
// by paths relative to the file's folder. Read into the resources a setup
// stub takes, with every picture checked.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "pe/ResourceForms.h"

// The keys and the string ids they go to; the picture keys.
struct TSettingsString {
  const char16_t* key;
  uint16_t id;
};
extern const TSettingsString kSettingsStrings[9];
extern const char16_t* const kSettingsPictures[4];
// Optional keys of the programs' version information only.
extern const char16_t* const kSettingsVersionTexts[3];

// Key to value. Raises Error naming `name` and the line for a line that is
// not "Key = Value", an unknown key or one given twice, and naming every key
// left out (the optional ones of the version information aside).
std::map<std::u16string, std::u16string> ParseProductSettings(std::string_view utf8,
                                                              std::u16string_view name);

// What the settings put into Setup.exe.
struct TProductResources {
  std::map<uint16_t, std::u16string> strings;  // ids 1001-1012
  std::string bannerChinese;                   // JPEG files
  std::string bannerEnglish;
  std::string headerBitmap;  // the bitmap resource (the file without its header)
  std::vector<TIconImage> icon;
  // The version information's texts; empty for the defaults.
  std::u16string company;
  std::u16string description;
  std::u16string copyright;
};

// Reads the file and the pictures it names and checks them all: Language
// -1, 0 or 2; Freeware a boolean or a number; every text fits a string table;
// banners baseline JPEG of 160 x 308 with three components; the header
// picture a 32 x 32 bitmap of 24 bits; the icon with 16 x 16 and 32 x 32
// images. Raises Error naming the file, the key and what is wrong.
TProductResources LoadProductResources(const std::u16string& settingsPath);

// The checks of the pictures, on their files' bytes. Each raises Error
// saying what the picture is instead.
void CheckBanner(std::string_view jpeg);
void CheckHeaderPicture(std::string_view bmp);
void CheckIcon(const std::vector<TIconImage>& images);
