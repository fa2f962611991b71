// A program's resources as a table of (type, name, language) to bytes, read
// from and written as the tree of directories a resource section holds.
#pragma once

#include <compare>
#include <cstdint>
#include <map>
#include <string>
#include <string_view>

// A type or a name: a number, or a text (which the tree keeps in capitals,
// as the system looks names up in capitals).
struct TResourceId {
  uint16_t number = 0;
  std::u16string name;  // a named id when not empty

  static TResourceId Number(uint16_t n) { return {n, {}}; }
  // The text in capitals (ASCII letters).
  static TResourceId Name(std::u16string_view text);
  bool IsName() const { return !name.empty(); }
  // Named ids come first, ordered by their UTF-16 units, then numbers: the
  // order the tree's directories must keep for the system's binary search.
  std::strong_ordering operator<=>(const TResourceId& o) const;
  bool operator==(const TResourceId& o) const = default;
};

struct TResourceKey {
  TResourceId type;
  TResourceId name;
  uint16_t language = 0;

  std::strong_ordering operator<=>(const TResourceKey& o) const = default;
  bool operator==(const TResourceKey& o) const = default;
};

struct TResourceData {
  std::string bytes;
  uint32_t codePage = 0;
  bool operator==(const TResourceData& o) const = default;
};

using TResourceTree = std::map<TResourceKey, TResourceData>;

// The standard types.
enum : uint16_t {
  kRtCursor = 1,
  kRtBitmap = 2,
  kRtIcon = 3,
  kRtMenu = 4,
  kRtDialog = 5,
  kRtString = 6,
  kRtRcData = 10,
  kRtGroupCursor = 12,
  kRtGroupIcon = 14,
  kRtVersion = 16,
  kRtManifest = 24
};

// Reads the tree of a resource section whose first byte is at address
// sectionRva. Raises PeError when the tree is not three levels (type, name,
// numbered language) of directories that lie in the section, when a
// directory or entry is reached twice or an id repeats, or when a
// resource's data lies outside the section.
TResourceTree ReadResourceTree(std::string_view section, uint32_t sectionRva);

// The bytes of a resource section at address sectionRva holding the tree:
// the directories, their names, the data entries, then each resource's data
// on an 8-byte boundary. No time stamp: the same tree gives the same bytes.
std::string WriteResourceSection(const TResourceTree& tree, uint32_t sectionRva);

// The same section with the data of `outside` (a resource of the tree,
// whose bytes there are not used) left to the caller: it comes after every
// other resource's data, and the bytes returned end where it starts, so that
// its outsideSize bytes (a package of hundreds of megabytes) are written
// straight after them, never copied. Raises PeError as WriteResourceSection,
// and when the tree does not hold `outside`.
std::string WriteResourceSectionHead(const TResourceTree& tree, uint32_t sectionRva,
                                     const TResourceKey& outside, uint32_t outsideSize);

// A text naming the key, for messages: "RCDATA IMAGELEFT0 (2052)".
std::u16string DescribeResource(const TResourceKey& key);
