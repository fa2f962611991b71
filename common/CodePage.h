// Conversion between 8-bit text in a Windows code page and UTF-16.
//
// Windows programs use the system's ANSI code page (win/AnsiCodePage.h
// supplies that one). Elsewhere the caller chooses a code page by number; 1252 when it
// does not say.
#pragma once

#include <memory>
#include <string>
#include <string_view>

class CodePage {
 public:
  virtual ~CodePage() = default;
  virtual unsigned Number() const = 0;
  // Every byte sequence widens; bytes the code page does not define widen to
  // what Windows gives them.
  virtual std::u16string Widen(std::string_view bytes) const = 0;
  // Characters the code page cannot hold narrow to "?".
  virtual std::string Narrow(std::u16string_view text) const = 0;
};

// Code page 1252 (Western European), the same on every platform.
const CodePage& Cp1252();

// A code page by number: 1252 built in; off Windows any other code page the
// system's iconv knows as "CP<number>". Raises Error for an unknown number.
std::unique_ptr<CodePage> CreateCodePage(unsigned number);

// A code page other than 1252, by the build's own means (CodePage_iconv.cpp,
// CodePage_win.cpp); CreateCodePage is the way in.
std::unique_ptr<CodePage> OtherCodePage(unsigned number);
