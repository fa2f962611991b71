#include "tools/SetupStamp.h"

#include <functional>
#include <memory>

#include "common/Errors.h"
#include "fs/Errors.h"
#include "fs/File.h"
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

// A program whose resources this tool can replace: a Windows x86 program,
// unsigned, whose resource section is its last. `what` names it in the
// messages ("the stub"), `kind` says what it should be ("setup stub").
TCheckedStub OpenLastResources(const std::string& program, const std::u16string& what,
                               const std::u16string& kind, const std::u16string& whenSigned) {
  std::unique_ptr<PeImage> image;
  try {
    image = std::make_unique<PeImage>(program);
  } catch (const PeError& e) {
    throw Error(what + u" is no Windows program: " + e.Message());
  }
  if (image->Machine() != 0x14C && image->Machine() != 0x8664)
    throw Error(what + u" is no x86 Windows program");
  if (image->Directory(kSecurityDirectory).size != 0)
    throw Error(what + u" is signed: " + whenSigned);
  const TDataDirectory res = image->Directory(kResourceDirectory);
  const int section = res.rva != 0 ? image->SectionOf(res.rva) : -1;
  if (section < 0)
    throw Error(what + u" holds no resources: it is no " + kind + u" of this kit");
  if (image->Sections()[static_cast<size_t>(section)].virtualAddress != res.rva)
    throw Error(what + u"'s resources do not start their section: it is no " + kind +
                u" of this kit");
  if (!image->IsLastSection(section)) {
    throw Error(what + u"'s resource section is not its last (or bytes follow it): it is no " +
                kind + u" of this kit");
  }
  TResourceTree tree;
  try {
    tree = ReadResourceTree(image->SectionData(section), res.rva);
  } catch (const PeError& e) {
    throw Error(what + u"'s resources do not read: " + e.Message());
  }
  return {std::move(*image), section, std::move(tree)};
}

TCheckedStub Check(const std::string& stub) {
  TCheckedStub s = OpenLastResources(
      stub, u"the stub", u"setup stub",
      u"its signature would not cover the product. Give the unsigned stub and sign the "
      u"Setup.exe made (--sign-cert, --sign-key)");
  auto mark = s.tree.find(kMarkKey);
  if (mark == s.tree.end() || mark->second.bytes.rfind(kStubMark, 0) != 0)
    throw Error(u"the stub carries no mark of this kit's stub: give the SetupStub.exe of the kit");
  return s;
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

// Puts the version information in place of any the tree holds.
void PutVersion(TResourceTree& tree, const TProductResources& product, TStampedProgram program) {
  for (auto it = tree.begin(); it != tree.end();) {
    if (it->first.type == TResourceId::Number(kRtVersion))
      it = tree.erase(it);
    else
      ++it;
  }
  tree[{TResourceId::Number(kRtVersion), TResourceId::Number(1), kProductLanguage}].bytes =
      MakeVersionResource(ProgramVersionInfo(product, program));
}

void ReplaceResources(TCheckedStub& s, const TResourceTree& tree) {
  const uint32_t rva = s.image.Sections()[static_cast<size_t>(s.section)].virtualAddress;
  try {
    s.image.ReplaceLastSection(WriteResourceSection(tree, rva), kResourceDirectory);
  } catch (const PeError& e) {
    throw Error(u"the stamped program cannot be written: " + e.Message());
  }
}

}  // namespace

TVersionInfo ProgramVersionInfo(const TProductResources& product, TStampedProgram program) {
  const bool setup = program == TStampedProgram::Setup;
  const std::u16string& version = product.strings.at(1011);
  TVersionInfo info;
  info.fileVersion = info.productVersion = ParseVersionNumbers(version);
  auto block = [&](uint16_t language, const std::u16string& name, const char16_t* publisher,
                   const char16_t* setupWhat, const char16_t* uninstallerWhat) {
    TVersionBlock b{language, {}};
    auto add = [&](const char16_t* key, const std::u16string& text) {
      if (!text.empty())
        b.values.emplace_back(key, text);
    };
    add(u"CompanyName", product.company.empty() ? publisher : product.company);
    add(u"FileDescription", setup && !product.description.empty()
                                ? product.description
                                : name + (setup ? setupWhat : uninstallerWhat));
    add(u"FileVersion", version);
    add(u"LegalCopyright", product.copyright);
    add(u"OriginalFilename", setup ? u"Setup.exe" : u"Uninst.exe");
    add(u"ProductName", name);
    add(u"ProductVersion", version);
    info.blocks.push_back(std::move(b));
  };
  block(1033, product.strings.at(1001), u"Norvane Software", u" Setup", u" Uninstaller");
  block(2052, product.strings.at(1002), u"诺凡软件", u" 安装程序", u" 卸载程序");
  return info;
}

std::string StampUninstaller(const std::string& program, const TProductResources& product) {
  TCheckedStub u = OpenLastResources(program, u"the uninstaller", u"uninstaller",
                                     u"give the unsigned one: stp signs the uninstaller it makes");
  PutVersion(u.tree, product, TStampedProgram::Uninstaller);
  ReplaceResources(u, u.tree);
  return std::move(u.image).Release();
}

TResourceTree ReadStub(const std::string& stub) {
  return Check(stub).tree;
}

TStampedSetup StampSetup(const std::string& stub, const TProductResources& product,
                         TPackageExtent package) {
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
  const TResourceKey packageKey{packageType, packageName, kProductLanguage};
  tree[packageKey] = {};
  PutVersion(tree, product, TStampedProgram::Setup);

  const uint32_t rva = s.image.Sections()[static_cast<size_t>(s.section)].virtualAddress;
  try {
    if (package.size > 0xFFFFFFFFu)
      throw PeError(u"the package is larger than 4 GiB");
    s.image.ReplaceLastSection(
        WriteResourceSectionHead(tree, rva, packageKey, static_cast<uint32_t>(package.size)),
        package.size, package.wordSum, kResourceDirectory);
  } catch (const PeError& e) {
    throw Error(u"the stamped program cannot be written: " + e.Message());
  }
  TStampedSetup out;
  out.padding = s.image.TailPadding();
  out.head = std::move(s.image).Release();
  return out;
}

TPackageExtent ExtentOf(std::string_view package) {
  return {package.size(), PeWordSum(package)};
}

std::string TStampedSetup::Bytes(std::string_view package) const {
  std::string bytes = head;
  bytes += package;
  bytes.append(padding, '\0');
  return bytes;
}

namespace {

// The package file is read in pieces of this size (even, so that their word
// sums add up), never held whole.
constexpr size_t kPackagePiece = 1 << 20;

// Calls `use` with each piece of the file, in order; raises FileError when
// the file does not read to its end.
void ForEachPiece(const std::u16string& path,
                  const std::function<void(std::string_view piece)>& use) {
  InFile in(path);
  std::string buffer(kPackagePiece, '\0');
  int64_t done = 0;
  while (done < in.Size()) {
    const size_t n = in.Read(buffer.data(), buffer.size());
    if (n == 0 || (n % 2 != 0 && done + static_cast<int64_t>(n) != in.Size()))
      throw FileError(u"cannot read " + path + u" to its end");
    use(std::string_view(buffer.data(), n));
    done += static_cast<int64_t>(n);
  }
}

}  // namespace

TPackageExtent ExtentOfFile(const std::u16string& path) {
  TPackageExtent extent;
  ForEachPiece(path, [&](std::string_view piece) {
    extent.size += piece.size();
    extent.wordSum += PeWordSum(piece);
  });
  return extent;
}

void WriteSetup(OutFile& file, const TStampedSetup& setup, const std::u16string& package,
                const TPackageExtent& extent) {
  file.Write(setup.head.data(), setup.head.size());
  uint64_t written = 0;
  ForEachPiece(package, [&](std::string_view piece) {
    file.Write(piece.data(), piece.size());
    written += piece.size();
  });
  if (written != extent.size)
    throw FileError(package + u" changed while the setup program was written");
  const std::string padding(setup.padding, '\0');
  file.Write(padding.data(), padding.size());
}
