// A program's version information: the VS_VERSION_INFO resource (type 16)
// that Explorer's details, inventory tools and GetFileVersionInfo read. The
// bytes are those a resource compiler makes of a VERSIONINFO statement, so a
// program stamped here and one built from a resource script compare equal.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

using TVersionNumbers = std::array<uint16_t, 4>;

// One language's block of texts (code page 1200, UTF-16), each name with its
// text, in the order given.
struct TVersionBlock {
  uint16_t language = 0;
  std::vector<std::pair<std::u16string, std::u16string>> values;
};

struct TVersionInfo {
  TVersionNumbers fileVersion{};
  TVersionNumbers productVersion{};
  std::vector<TVersionBlock> blocks;
};

// The numbers that start a version text, dot-separated, the missing ones
// zero: "3.50" is 3.50.0.0, "2.1 beta" 2.1.0.0, and a text that starts with
// no number 0.0.0.0. Raises Error for a number above 65535 or more than four.
TVersionNumbers ParseVersionNumbers(std::u16string_view text);

// The resource's bytes: the fixed part (a Windows GUI application, no flags)
// with both versions, a StringFileInfo of the blocks and a VarFileInfo
// translating each block's language to code page 1200.
std::string MakeVersionResource(const TVersionInfo& info);
