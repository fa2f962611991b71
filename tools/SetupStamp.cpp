#include "tools/SetupStamp.h"

#include <memory>

#include "common/Errors.h"
#include "pe/PeImage.h"
#include "pe/ResourceForms.h"

namespace {

const TResourceKey kMarkKey{TResourceId::Number(kRtRcData), TResourceId::Name(u"SETUPSTUB"),
                            kProductLanguage};

struct TCheckedStub {
  PeImage image;
  int section;
  TResourceTree tree;
};

TCheckedStub Check(const std::string& stub) {
  std::unique_ptr<PeImage> image;
  try {
    image = std::make_unique<PeImage>(stub);
  } catch (const PeError& e) {
    throw Error(u"the stub is no Windows program: " + e.Message());
  }
  if (image->Machine() != 0x14C && image->Machine() != 0x8664)
    throw Error(u"the stub is no x86 Windows program");
  if (image->Directory(kSecurityDirectory).size != 0) {
    throw Error(
        u"the stub is signed: its signature would not cover the product. Give the "
        u"unsigned stub and sign the Setup.exe made (--sign-cert, --sign-key)");
  }
  const TDataDirectory res = image->Directory(kResourceDirectory);
  const int section = res.rva != 0 ? image->SectionOf(res.rva) : -1;
  if (section < 0)
    throw Error(u"the stub holds no resources: it is no setup stub of this kit");
  if (image->Sections()[static_cast<size_t>(section)].virtualAddress != res.rva)
    throw Error(
        u"the stub's resources do not start their section: it is no setup stub of this kit");
  if (!image->IsLastSection(section)) {
    throw Error(
        u"the stub's resource section is not its last (or bytes follow it): it is no "
        u"setup stub of this kit");
  }
  TResourceTree tree;
  try {
    tree = ReadResourceTree(image->SectionData(section), res.rva);
  } catch (const PeError& e) {
    throw Error(u"the stub's resources do not read: " + e.Message());
  }
  auto mark = tree.find(kMarkKey);
  if (mark == tree.end() || mark->second.bytes.rfind(kStubMark, 0) != 0)
    throw Error(u"the stub carries no mark of this kit's stub: give the SetupStub.exe of the kit");
  return {std::move(*image), section, std::move(tree)};
}

// Removes every resource of that type and name, in any language.
void RemoveAll(TResourceTree& tree, const TResourceId& type, const TResourceId& name) {
  for (auto it = tree.begin(); it != tree.end();) {
    if (it->first.type == type && it->first.name == name)
      it = tree.erase(it);
    else
      ++it;
  }
}

}  // namespace

TResourceTree ReadStub(const std::string& stub) {
  return Check(stub).tree;
}

std::string StampSetup(const std::string& stub, const TProductResources& product,
                       std::string package) {
  TCheckedStub s = Check(stub);
  TResourceTree& tree = s.tree;
  tree.erase(kMarkKey);

  // The product's strings replace the stub's of ids 1001-1012.
  std::map<uint16_t, std::u16string> strings = ReadStringTable(tree, kProductLanguage);
  for (uint16_t id = 1001; id <= 1012; ++id)
    strings.erase(id);
  for (const auto& [id, text] : product.strings)
    strings[id] = text;
  for (auto it = tree.begin(); it != tree.end();) {
    if (it->first.type == TResourceId::Number(kRtString) && it->first.language == kProductLanguage)
      it = tree.erase(it);
    else
      ++it;
  }
  PutStringTable(tree, strings, kProductLanguage);

  auto put = [&](uint16_t type, const TResourceId& name, std::string bytes) {
    RemoveAll(tree, TResourceId::Number(type), name);
    tree[{TResourceId::Number(type), name, kProductLanguage}] = {std::move(bytes), 0};
  };
  put(kRtRcData, TResourceId::Name(u"IMAGELEFT0"), product.bannerChinese);
  put(kRtRcData, TResourceId::Name(u"IMAGELEFT2"), product.bannerEnglish);
  put(kRtBitmap, TResourceId::Name(u"IMAGEICON"), product.headerBitmap);
  const TResourceId appIcon = TResourceId::Name(u"APPICON");
  for (auto it = tree.begin(); it != tree.end();) {
    const TResourceKey key = it->first;
    ++it;
    if (key.type == TResourceId::Number(kRtGroupIcon) && key.name == appIcon)
      RemoveIconGroup(tree, key.name, key.language);
    it = tree.upper_bound(key);
  }
  PutIconGroup(tree, appIcon, kProductLanguage, product.icon);
  const TResourceId packageType = TResourceId::Name(u"STPFILE");
  const TResourceId packageName = TResourceId::Name(u"SETUPPACKAGE");
  RemoveAll(tree, packageType, packageName);
  tree[{packageType, packageName, kProductLanguage}].bytes = std::move(package);

  const uint32_t rva = s.image.Sections()[static_cast<size_t>(s.section)].virtualAddress;
  try {
    s.image.ReplaceLastSection(WriteResourceSection(tree, rva), kResourceDirectory);
  } catch (const PeError& e) {
    throw Error(u"the stamped program cannot be written: " + e.Message());
  }
  return std::move(s.image).Release();
}
