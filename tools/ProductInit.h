// A new product's folder, as stp init makes it: a settings file naming every
// key, each explained, and neutral pictures that pass the checks, so that
// stp setup makes a working Setup.exe from them at once.
#pragma once

#include <string>

struct TProductNames {
  std::u16string english;
  std::u16string chinese;    // the English name when empty
  std::u16string shortName;  // the English name's letters and digits when empty
  std::u16string version;    // "1.0" when empty
};

// The settings file's text (UTF-8), its pictures under "art/".
std::string ProductSettingsText(const TProductNames& names);

// Writes DIR/product.settings and DIR/art/ (banner-chinese.jpg,
// banner-english.jpg, header.bmp, app.ico), making DIR when needed. Raises
// Error, having written nothing, when DIR already holds a settings file or
// one of the pictures: nothing of the publisher's is replaced.
void InitProduct(const std::u16string& dir, const TProductNames& names);
