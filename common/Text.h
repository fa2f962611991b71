// Small text helpers shared by the portable libraries. Text is UTF-16
// throughout; UTF-8 is used only where text meets a terminal or a log.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// UTF-16 to UTF-8; an unpaired surrogate becomes U+FFFD.
std::string ToUtf8(std::u16string_view text);
// UTF-8 to UTF-16; a malformed sequence becomes U+FFFD.
std::u16string FromUtf8(std::string_view text);

// Decimal text of a number.
std::u16string IntToText(int64_t value);

// Every occurrence of `from` in `text` replaced by `to`; with ignoreCase the
// search folds the ASCII letters only.
std::u16string ReplaceAll(std::u16string_view text, std::u16string_view from,
                          std::u16string_view to, bool ignoreCase);

// Letters a-z turned into A-Z; every other character unchanged.
std::u16string AsciiUpper(std::u16string_view text);
