#include "pe/ResourceTree.h"

#include <set>
#include <vector>

#include "common/Bytes.h"
#include "common/Text.h"
#include "pe/PeImage.h"

namespace {

constexpr uint32_t kHighBit = 0x80000000u;

class Reader {
 public:
  Reader(std::string_view section, uint32_t rva) : s_(section), rva_(rva) {}

  TResourceTree Read() {
    Directory(0, 0, {});
    return tree_;
  }

 private:
  uint16_t U16(size_t at) const {
    Need(at, 2);
    return GetU16(s_, at);
  }
  uint32_t U32(size_t at) const {
    Need(at, 4);
    return GetU32(s_, at);
  }
  void Need(size_t at, size_t n) const {
    if (at > s_.size() || s_.size() - at < n)
      throw PeError(u"the resource tree points outside its section");
  }

  TResourceId Id(uint32_t field) const {
    if (!(field & kHighBit)) {
      if (field > 0xFFFF)
        throw PeError(u"a resource id past 65535");
      return TResourceId::Number(static_cast<uint16_t>(field));
    }
    const size_t at = field & ~kHighBit;
    const uint16_t n = U16(at);
    Need(at + 2, 2u * n);
    if (n == 0)
      throw PeError(u"a resource with an empty name");
    TResourceId id;
    for (uint16_t i = 0; i < n; ++i)
      id.name += static_cast<char16_t>(U16(at + 2 + 2u * i));
    return id;
  }

  // level 0: types, 1: names, 2: languages.
  void Directory(size_t at, int level, TResourceKey key) {
    if (!directories_.insert(at).second)
      throw PeError(u"a resource directory is reached twice");
    Need(at, 16);
    const size_t count = static_cast<size_t>(U16(at + 12)) + U16(at + 14);
    Need(at + 16, 8 * count);
    std::set<TResourceId> seen;
    for (size_t i = 0; i < count; ++i) {
      const size_t entry = at + 16 + 8 * i;
      const TResourceId id = Id(U32(entry));
      const uint32_t target = U32(entry + 4);
      if (!seen.insert(id).second)
        throw PeError(u"a resource directory names one id twice");
      if (level == 0)
        key.type = id;
      else if (level == 1)
        key.name = id;
      else if (id.IsName())
        throw PeError(u"a resource language that is a name");
      else
        key.language = id.number;
      const bool sub = (target & kHighBit) != 0;
      if (sub != (level < 2))
        throw PeError(u"a resource tree that is not three levels deep");
      if (sub)
        Directory(target & ~kHighBit, level + 1, key);
      else
        Data(target, key);
    }
  }

  void Data(size_t at, const TResourceKey& key) {
    if (!entries_.insert(at).second)
      throw PeError(u"a resource data entry is reached twice");
    Need(at, 16);
    const uint32_t rva = U32(at);
    const uint32_t size = U32(at + 4);
    if (rva < rva_ || rva - rva_ > s_.size() || s_.size() - (rva - rva_) < size)
      throw PeError(u"the data of resource " + DescribeResource(key) +
                    u" lies outside the resource section");
    tree_[key] = TResourceData{std::string(s_.substr(rva - rva_, size)), U32(at + 8)};
  }

  std::string_view s_;
  uint32_t rva_;
  std::set<size_t> directories_;
  std::set<size_t> entries_;
  TResourceTree tree_;
};

class Writer {
 public:
  explicit Writer(std::string& out) : out_(out) {}
  // A directory's header at `at` with its entry counts; its entries follow.
  void Header(size_t at, size_t named, size_t numbered) {
    if (named > 0xFFFF || numbered > 0xFFFF)
      throw PeError(u"a resource directory of more than 65535 entries");
    SetU16(out_, at + 12, static_cast<uint16_t>(named));
    SetU16(out_, at + 14, static_cast<uint16_t>(numbered));
  }

 private:
  std::string& out_;
};

size_t Align(size_t v, size_t a) {
  return (v + a - 1) / a * a;
}

}  // namespace

TResourceId TResourceId::Name(std::u16string_view text) {
  TResourceId id;
  id.name = AsciiUpper(text);
  return id;
}

std::strong_ordering TResourceId::operator<=>(const TResourceId& o) const {
  if (IsName() != o.IsName())
    return IsName() ? std::strong_ordering::less : std::strong_ordering::greater;
  if (IsName())
    return name.compare(o.name) <=> 0;
  return number <=> o.number;
}

TResourceTree ReadResourceTree(std::string_view section, uint32_t sectionRva) {
  return Reader(section, sectionRva).Read();
}

namespace {

// The section; with `outside`, only up to where its data starts, placed
// after every other resource's data and `outsideSize` bytes long.
std::string WriteSection(const TResourceTree& tree, uint32_t sectionRva,
                         const TResourceKey* outside, uint32_t outsideSize) {
  using Languages = std::map<uint16_t, const TResourceData*>;
  using Names = std::map<TResourceId, Languages>;
  std::map<TResourceId, Names> types;
  for (const auto& [key, data] : tree)
    types[key.type][key.name][key.language] = &data;

  // Offsets: the root, the type directories, the name directories, then the
  // names' texts, the data entries and the data.
  auto dirSize = [](size_t entries) { return 16 + 8 * entries; };
  size_t size = dirSize(types.size());
  std::map<TResourceId, size_t> typeDir;
  std::map<std::pair<TResourceId, TResourceId>, size_t> nameDir;
  for (const auto& [type, names] : types) {
    typeDir[type] = size;
    size += dirSize(names.size());
  }
  for (const auto& [type, names] : types) {
    for (const auto& [name, languages] : names) {
      nameDir[{type, name}] = size;
      size += dirSize(languages.size());
    }
  }
  std::map<std::u16string, size_t> texts;
  for (const auto& [key, data] : tree) {
    for (const TResourceId* id : {&key.type, &key.name}) {
      if (id->IsName() && !texts.count(id->name)) {
        texts[id->name] = size;
        size += 2 + 2 * id->name.size();
      }
    }
  }
  size = Align(size, 8);
  const size_t entries = size;
  size += 16 * tree.size();
  std::vector<size_t> dataAt;
  size_t outsideAt = 0;
  for (const auto& [key, data] : tree) {
    if (outside != nullptr && key == *outside) {
      dataAt.push_back(0);
      continue;
    }
    size = Align(size, 8);
    dataAt.push_back(size);
    size += data.bytes.size();
  }
  if (outside != nullptr) {
    size = Align(size, 8);
    outsideAt = size;
    for (size_t i = 0; const auto& entry : tree) {
      if (entry.first == *outside)
        dataAt[i] = outsideAt;
      ++i;
    }
  }
  if (sectionRva + static_cast<uint64_t>(size) + (outside != nullptr ? outsideSize : 0) >
      0xFFFFFFFFu)
    throw PeError(u"the resources outgrow 4 GiB");

  std::string out(size, '\0');
  Writer w(out);
  auto entry = [&](size_t at, const TResourceId& id, uint32_t target) {
    SetU32(out, at, id.IsName() ? static_cast<uint32_t>(texts.at(id.name)) | kHighBit : id.number);
    SetU32(out, at + 4, target);
  };
  auto counts = [](const auto& m, size_t& named) {
    named = 0;
    for (const auto& kv : m)
      named += kv.first.IsName() ? 1 : 0;
  };
  size_t named = 0;
  counts(types, named);
  w.Header(0, named, types.size() - named);
  size_t at = 16;
  for (const auto& [type, names] : types) {
    entry(at, type, static_cast<uint32_t>(typeDir[type]) | kHighBit);
    at += 8;
    const size_t dir = typeDir[type];
    counts(names, named);
    w.Header(dir, named, names.size() - named);
    size_t e = dir + 16;
    for (const auto& [name, languages] : names) {
      entry(e, name, static_cast<uint32_t>(nameDir[{type, name}]) | kHighBit);
      e += 8;
    }
  }
  size_t index = 0;
  for (const auto& [type, names] : types) {
    for (const auto& [name, languages] : names) {
      const size_t dir = nameDir[{type, name}];
      w.Header(dir, 0, languages.size());
      size_t e = dir + 16;
      for (const auto& [language, data] : languages) {
        const size_t dataEntry = entries + 16 * index;
        entry(e, TResourceId::Number(language), static_cast<uint32_t>(dataEntry));
        e += 8;
        SetU32(out, dataEntry, static_cast<uint32_t>(sectionRva + dataAt[index]));
        const bool isOutside = outside != nullptr && TResourceKey{type, name, language} == *outside;
        SetU32(out, dataEntry + 4,
               isOutside ? outsideSize : static_cast<uint32_t>(data->bytes.size()));
        SetU32(out, dataEntry + 8, data->codePage);
        if (!isOutside)
          out.replace(dataAt[index], data->bytes.size(), data->bytes);
        ++index;
      }
    }
  }
  for (const auto& [text, offset] : texts) {
    SetU16(out, offset, static_cast<uint16_t>(text.size()));
    for (size_t i = 0; i < text.size(); ++i)
      SetU16(out, offset + 2 + 2 * i, static_cast<uint16_t>(text[i]));
  }
  return out;
}

}  // namespace

std::string WriteResourceSection(const TResourceTree& tree, uint32_t sectionRva) {
  return WriteSection(tree, sectionRva, nullptr, 0);
}

std::string WriteResourceSectionHead(const TResourceTree& tree, uint32_t sectionRva,
                                     const TResourceKey& outside, uint32_t outsideSize) {
  if (!tree.count(outside))
    throw PeError(u"the tree holds no " + DescribeResource(outside));
  return WriteSection(tree, sectionRva, &outside, outsideSize);
}

std::u16string DescribeResource(const TResourceKey& key) {
  static const std::map<uint16_t, std::u16string> kTypes = {{kRtCursor, u"CURSOR"},
                                                            {kRtBitmap, u"BITMAP"},
                                                            {kRtIcon, u"ICON"},
                                                            {kRtMenu, u"MENU"},
                                                            {kRtDialog, u"DIALOG"},
                                                            {kRtString, u"STRING"},
                                                            {kRtRcData, u"RCDATA"},
                                                            {kRtGroupCursor, u"GROUP_CURSOR"},
                                                            {kRtGroupIcon, u"GROUP_ICON"},
                                                            {kRtVersion, u"VERSION"},
                                                            {kRtManifest, u"MANIFEST"}};
  auto show = [](const TResourceId& id) { return id.IsName() ? id.name : IntToText(id.number); };
  std::u16string type = show(key.type);
  if (!key.type.IsName() && kTypes.count(key.type.number))
    type = kTypes.at(key.type.number);
  return type + u" " + show(key.name) + u" (" + IntToText(key.language) + u")";
}
