#include "pe/ResourceForms.h"

#include <algorithm>
#include <set>

#include "common/Bytes.h"
#include "common/Errors.h"
#include "common/Text.h"
#include "pe/PeImage.h"

namespace {

constexpr size_t kGroupHeader = 6;
constexpr size_t kGroupEntry = 14;
constexpr size_t kFileEntry = 16;

// What an icon file's and a group's directory entries say alike of an
// image at `e`: its size (0 meaning 256), colours, planes and depth.
TIconImage EntryHead(std::string_view directory, size_t e) {
  const auto byte = [&](size_t at) { return static_cast<uint8_t>(directory[at]); };
  TIconImage im;
  im.width = byte(e) == 0 ? 256 : byte(e);
  im.height = byte(e + 1) == 0 ? 256 : byte(e + 1);
  im.colors = byte(e + 2);
  im.planes = GetU16(directory, e + 4);
  im.bitCount = GetU16(directory, e + 6);
  return im;
}

// The ICON ids a group's directory names.
std::vector<uint16_t> GroupIds(std::string_view group) {
  if (group.size() < kGroupHeader)
    throw PeError(u"an icon group shorter than its header");
  const size_t count = GetU16(group, 4);
  if (group.size() < kGroupHeader + kGroupEntry * count)
    throw PeError(u"an icon group shorter than its entries");
  std::vector<uint16_t> ids;
  for (size_t i = 0; i < count; ++i)
    ids.push_back(GetU16(group, kGroupHeader + kGroupEntry * i + 12));
  return ids;
}

}  // namespace

void PutStringTable(TResourceTree& tree, const std::map<uint16_t, std::u16string>& strings,
                    uint16_t language) {
  std::map<uint16_t, std::vector<std::u16string>> blocks;
  for (const auto& [id, text] : strings) {
    if (text.size() > kMaxTableString) {
      throw Error(
          u"string " + IntToText(id) + u" is " + IntToText(static_cast<int64_t>(text.size())) +
          u" UTF-16 units long; a string table holds at most " + IntToText(kMaxTableString));
    }
    if (text.empty())
      continue;
    auto& block = blocks[static_cast<uint16_t>(id / 16 + 1)];
    block.resize(16);
    block[id % 16] = text;
  }
  for (const auto& [block, texts] : blocks) {
    std::string bytes;
    for (const auto& t : texts) {
      PutU16(bytes, static_cast<uint16_t>(t.size()));
      for (char16_t c : t)
        PutU16(bytes, static_cast<uint16_t>(c));
    }
    tree[{TResourceId::Number(kRtString), TResourceId::Number(block), language}] = {bytes, 0};
  }
}

std::map<uint16_t, std::u16string> ReadStringTable(const TResourceTree& tree, uint16_t language) {
  std::map<uint16_t, std::u16string> strings;
  for (const auto& [key, data] : tree) {
    if (key.type != TResourceId::Number(kRtString) || key.language != language ||
        key.name.IsName() || key.name.number == 0) {
      continue;
    }
    const std::string& b = data.bytes;
    size_t at = 0;
    for (int i = 0; i < 16; ++i) {
      if (b.size() - at < 2)
        throw PeError(u"string table block " + IntToText(key.name.number) + u" is cut short");
      const size_t n = GetU16(b, at);
      at += 2;
      if ((b.size() - at) / 2 < n)
        throw PeError(u"string table block " + IntToText(key.name.number) + u" is cut short");
      std::u16string text;
      for (size_t k = 0; k < n; ++k)
        text += static_cast<char16_t>(GetU16(b, at + 2 * k));
      at += 2 * n;
      if (n != 0)
        strings[static_cast<uint16_t>((key.name.number - 1) * 16 + i)] = text;
    }
  }
  return strings;
}

std::vector<TIconImage> ParseIconFile(std::string_view file) {
  if (file.size() < kGroupHeader || GetU16(file, 0) != 0 || GetU16(file, 2) != 1)
    throw Error(u"not an icon file");
  const size_t count = GetU16(file, 4);
  if (count == 0)
    throw Error(u"an icon file without images");
  if (file.size() < kGroupHeader + kFileEntry * count)
    throw Error(u"an icon file cut short in its directory");
  std::vector<TIconImage> images;
  for (size_t i = 0; i < count; ++i) {
    const size_t e = kGroupHeader + kFileEntry * i;
    TIconImage im = EntryHead(file, e);
    const uint32_t size = GetU32(file, e + 8);
    const uint32_t offset = GetU32(file, e + 12);
    if (size == 0 || offset > file.size() || file.size() - offset < size)
      throw Error(u"image " + IntToText(static_cast<int64_t>(i + 1)) +
                  u" lies outside the icon file");
    im.bytes = std::string(file.substr(offset, size));
    // Directories that leave planes and depth out: the bitmap header has them.
    if ((im.planes == 0 || im.bitCount == 0) && im.bytes.size() >= 16 &&
        GetU32(im.bytes, 0) == 40) {
      im.planes = GetU16(im.bytes, 12);
      im.bitCount = GetU16(im.bytes, 14);
    }
    images.push_back(std::move(im));
  }
  return images;
}

void RemoveIconGroup(TResourceTree& tree, const TResourceId& name, uint16_t language) {
  const TResourceKey key{TResourceId::Number(kRtGroupIcon), name, language};
  auto it = tree.find(key);
  if (it == tree.end())
    return;
  const std::vector<uint16_t> ids = GroupIds(it->second.bytes);
  tree.erase(it);
  std::set<uint16_t> kept;
  for (const auto& [k, data] : tree) {
    if (k.type == key.type) {
      for (uint16_t id : GroupIds(data.bytes))
        kept.insert(id);
    }
  }
  for (auto i = tree.begin(); i != tree.end();) {
    const bool image = i->first.type == TResourceId::Number(kRtIcon) && !i->first.name.IsName();
    if (image && !kept.count(i->first.name.number) &&
        std::find(ids.begin(), ids.end(), i->first.name.number) != ids.end()) {
      i = tree.erase(i);
    } else {
      ++i;
    }
  }
}

void PutIconGroup(TResourceTree& tree, const TResourceId& name, uint16_t language,
                  const std::vector<TIconImage>& images) {
  RemoveIconGroup(tree, name, language);
  uint32_t next = 1;
  for (const auto& [key, data] : tree) {
    if (key.type == TResourceId::Number(kRtIcon) && !key.name.IsName())
      next = std::max<uint32_t>(next, key.name.number + 1u);
  }
  if (next + images.size() > 0x10000)
    throw PeError(u"no icon numbers left in the program");
  std::string group;
  PutU16(group, 0);
  PutU16(group, 1);
  PutU16(group, static_cast<uint16_t>(images.size()));
  for (const TIconImage& im : images) {
    group += static_cast<char>(im.width >= 256 ? 0 : im.width);
    group += static_cast<char>(im.height >= 256 ? 0 : im.height);
    group += static_cast<char>(im.colors);
    group += '\0';
    PutU16(group, im.planes);
    PutU16(group, im.bitCount);
    PutU32(group, static_cast<uint32_t>(im.bytes.size()));
    PutU16(group, static_cast<uint16_t>(next));
    tree[{TResourceId::Number(kRtIcon), TResourceId::Number(static_cast<uint16_t>(next)),
          language}] = {im.bytes, 0};
    ++next;
  }
  tree[{TResourceId::Number(kRtGroupIcon), name, language}] = {group, 0};
}

std::vector<TIconImage> ReadIconGroup(const TResourceTree& tree, const TResourceId& name,
                                      uint16_t language) {
  const auto g = tree.find({TResourceId::Number(kRtGroupIcon), name, language});
  if (g == tree.end())
    return {};
  const std::string& b = g->second.bytes;
  const std::vector<uint16_t> ids = GroupIds(b);
  std::vector<TIconImage> images;
  for (size_t i = 0; i < ids.size(); ++i) {
    const size_t e = kGroupHeader + kGroupEntry * i;
    TIconImage im = EntryHead(b, e);
    // The image in the group's own language, else in any.
    auto it = tree.find({TResourceId::Number(kRtIcon), TResourceId::Number(ids[i]), language});
    if (it == tree.end()) {
      for (auto j = tree.begin(); j != tree.end(); ++j) {
        if (j->first.type == TResourceId::Number(kRtIcon) &&
            j->first.name == TResourceId::Number(ids[i]))
          it = j;
      }
    }
    if (it == tree.end())
      throw PeError(u"icon group " + DescribeResource(g->first) + u" names the missing image " +
                    IntToText(ids[i]));
    im.bytes = it->second.bytes;
    images.push_back(std::move(im));
  }
  return images;
}

std::string BitmapResource(std::string_view bmpFile) {
  if (bmpFile.size() < 14 + 40 || bmpFile[0] != 'B' || bmpFile[1] != 'M')
    throw Error(u"not a bitmap file (no BM header)");
  return std::string(bmpFile.substr(14));
}
