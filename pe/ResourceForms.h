// The forms some resources take in a program, made from the files a
// resource compiler takes: string tables, icon groups, bitmaps.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "pe/ResourceTree.h"

// The longest text a string table entry holds (its length is 16 bits).
constexpr size_t kMaxTableString = 0xFFFF;

// Puts strings (id to text) into the tree as the string table blocks of
// `language`, replacing those blocks: block id / 16 + 1 holds ids of that
// block, each a 16-bit length and its UTF-16 units, no terminator; empty
// texts are left out. Raises Error naming the id of a text too long.
void PutStringTable(TResourceTree& tree, const std::map<uint16_t, std::u16string>& strings,
                    uint16_t language);

// Every string of the tree's string tables in `language`. Raises PeError for
// a block that does not hold 16 entries.
std::map<uint16_t, std::u16string> ReadStringTable(const TResourceTree& tree, uint16_t language);

// One image of an icon file.
struct TIconImage {
  int width = 0;  // 256 for the directory's 0
  int height = 0;
  uint8_t colors = 0;
  uint16_t planes = 0;
  uint16_t bitCount = 0;
  std::string bytes;
  bool operator==(const TIconImage& o) const = default;
};

// The images of an .ico file. Raises Error when the file is no icon file or
// an image lies outside it.
std::vector<TIconImage> ParseIconFile(std::string_view file);

// Puts an icon group into the tree: each image as an ICON resource numbered
// after the highest one present, and the GROUP_ICON directory `name` naming
// them, both in `language`. A group of that name and language is removed
// first, with the images only it names.
void PutIconGroup(TResourceTree& tree, const TResourceId& name, uint16_t language,
                  const std::vector<TIconImage>& images);

// Removes a group and the images no other group names.
void RemoveIconGroup(TResourceTree& tree, const TResourceId& name, uint16_t language);

// The images a group names, read back through its directory. Raises PeError
// for a group that names an image the tree does not hold.
std::vector<TIconImage> ReadIconGroup(const TResourceTree& tree, const TResourceId& name,
                                      uint16_t language);

// The resource form of a .bmp file: the file without its 14-byte file
// header. Raises Error when the file does not start with one.
std::string BitmapResource(std::string_view bmpFile);
