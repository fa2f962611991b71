#include "fuzz/FuzzTargets.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <random>

#include "common/Bytes.h"
#include "common/Errors.h"
#include "common/Text.h"
#include "datatable/NvDataTable.h"
#include "fs/File.h"
#include "package/Errors.h"
#include "package/Extractor.h"
#include "package/Inflate.h"
#include "package/NvCrypUtils.h"
#include "package/Package.h"
#include "pe/PeImage.h"
#include "pe/ResourceTree.h"

namespace fs = std::filesystem;

namespace {

std::u16string Utf16(const uint8_t* data, size_t size) {
  std::u16string s(size / 2, u'\0');
  for (size_t i = 0; i < s.size(); ++i)
    s[i] = static_cast<char16_t>(GetU16(std::span<const uint8_t>(data, size), 2 * i));
  return s;
}

fs::path Root() {
  return fs::path(FuzzScratch());
}

std::u16string WriteInput(const uint8_t* data, size_t size) {
  const fs::path p = Root() / "input.stp";
  std::FILE* f = std::fopen(p.string().c_str(), "wb");
  if (f == nullptr)
    std::abort();
  if (size > 0)
    std::fwrite(data, 1, size, f);
  std::fclose(f);
  return FromFsPath(p);
}

[[noreturn]] void Fail(const std::string& what) {
  std::fprintf(stderr, "fuzz: %s\n", what.c_str());
  std::abort();
}

}  // namespace

const std::string& FuzzScratch() {
  static const std::string root = [] {
    const fs::path p =
        fs::temp_directory_path() / ("stp-fuzz-" + std::to_string(std::random_device{}()));
    fs::create_directories(p / "dest");
    fs::create_directories(p / "system");
    fs::create_directories(p / "cwd");
    // Anything written relative to the current directory would land here.
    fs::current_path(p / "cwd");
    return p.string();
  }();
  return root;
}

void FuzzPackageIndex(const uint8_t* data, size_t size) {
  const std::u16string path = WriteInput(data, size);
  try {
    InFile in(path);
    const auto index = ReadPackageIndex(in, Cp1252());
    if (index) {
      if (index->BodiesSize < 0 || index->BodiesSize > in.Size())
        Fail("bodies outside the package");
      if (in.Position() != 0)
        Fail("read position not at 0");
      if (index->Text.size() > static_cast<size_t>(in.Size()))
        Fail("index larger than the package");
    }
  } catch (const Error&) {
  }
}

void FuzzEnvelope(const uint8_t* data, size_t size) {
  if (size == 0)
    return;
  const size_t split = std::min<size_t>(data[0], size - 1) & ~size_t{1};
  const std::u16string password = Utf16(data + 1, split);
  const std::u16string text = Utf16(data + 1 + split, size - 1 - split);
  const std::u16string plain = DecryptText(text, password, Cp1252());
  if (plain.size() > text.size())
    Fail("plain text longer than its envelope");
}

void FuzzTable(const uint8_t* data, size_t size) {
  TDataTable table(u"", TColIndexSet{1});
  table.Init(Utf16(data, size));
  for (int i = 0; i < table.ItemCount(); ++i) {
    const TRow& row = table.Items(i);
    for (int j = 0; j < row.ItemCount(); ++j) {
      const TCell& cell = row.Items(j);
      const std::u16string text = cell.Text();
      if (text.size() != cell.StoredText().size())
        Fail("conversion changed the length");
      try {
        (void)cell.Value();
      } catch (const ConvertError&) {
      }
      try {
        (void)cell.AsBool();
      } catch (const ConvertError&) {
      }
    }
  }
}

void FuzzExtract(const uint8_t* data, size_t size) {
  const std::u16string path = WriteInput(data, size);
  const fs::path root = Root();
  TExtractOptions options;
  const std::u16string system = FromFsPath(root / "system") + u"\\";
  options.systemDir = [system] { return system; };
  options.maxTotalUnpacked = 1 << 20;
  if (size % 2)
    options.inflateBound = TInflateBound{0, 0};
  try {
    ExtractPackage(path, FromFsPath(root / "dest") + u"\\", u"", nullptr, options);
  } catch (const Error&) {
  }
  // Only the input, the two folders and the empty current folder may exist.
  for (const auto& e : fs::recursive_directory_iterator(root)) {
    const std::u16string rel = FromFsPath(e.path().lexically_relative(root));
    const std::u16string top = rel.substr(0, rel.find(u'\\'));
    const std::string shown = ToUtf8(rel);
    if (top == u"input.stp")
      continue;
    if (top == u"cwd") {
      if (rel != top)
        Fail("written relative to the current directory: " + shown);
      continue;
    }
    if (top != u"dest" && top != u"system")
      Fail("written outside the scratch folders: " + shown);
    if (rel.ends_with(u".stp-part"))
      Fail("temporary file left: " + shown);
  }
  for (const char* folder : {"dest", "system"}) {
    for (const auto& e : fs::directory_iterator(root / folder))
      fs::remove_all(e.path());
  }
}

namespace {

// A way's result: the bytes, or the refusal's message after a mark no bytes
// can hold.
std::string Outcome(const std::function<std::string()>& way) {
  try {
    return way();
  } catch (const PackageReadError& e) {
    return std::string(1, '\0') + "refused: " + ToUtf8(e.Message());
  }
}

}  // namespace

namespace {

// zlib's words for a Huffman code that leaves codes unassigned (or assigns
// too many), which it refuses as it reads a block's header: the one refusal
// the fast inflater may not share (package/Inflate.h).
bool CodeSetRefusal(const std::string& outcome) {
  for (const char* words :
       {"(invalid code lengths set)", "(invalid literal/lengths set)", "(invalid distances set)"}) {
    if (outcome.find(words) != std::string::npos)
      return true;
  }
  return false;
}

}  // namespace

void FuzzInflate(const uint8_t* data, size_t size) {
  if (size < 3)
    return;
  const int64_t unpacked = (GetU16(std::span<const uint8_t>(data, size), 0) | (data[2] & 1) << 16);
  const TBodyEnd end = (data[2] & 0x80) ? TBodyEnd::Exact : TBodyEnd::Extract;
  const std::string body(reinterpret_cast<const char*>(data + 3), size - 3);
  const std::string whole =
      Outcome([&] { return InflateBody(body, unpacked, TInflateWay::Whole, end); });
  const std::string streamed =
      Outcome([&] { return InflateBody(body, unpacked, TInflateWay::Zlib, end); });
  const std::string fast =
      Outcome([&] { return InflateBody(body, unpacked, TInflateWay::Fast, end); });
  // The streaming ways fed byte by byte.
  auto byByte = [&](TInflateWay way) {
    return Outcome([&] {
      std::string out;
      size_t at = 0;
      const TInflateInput input = [&](uint8_t* buffer, size_t) {
        if (at == body.size())
          return size_t{0};
        buffer[0] = static_cast<uint8_t>(body[at++]);
        return size_t{1};
      };
      const TInflateOutput output = [&](const uint8_t* d, size_t n) {
        out.append(reinterpret_cast<const char*>(d), n);
      };
      if (way == TInflateWay::Zlib)
        InflateStream(input, unpacked, output, end);
      else
        InflateStreamFast(
            input, [&] { at = 0; }, unpacked, output, end);
      return out;
    });
  };
  const bool refused = !whole.empty() && whole[0] == '\0';
  if (!refused && whole.size() != static_cast<size_t>(unpacked))
    Fail("the whole way gave a wrong number of bytes");
  if (whole != streamed)
    Fail("the whole and the streaming way differ: " + whole.substr(0, 80) + " / " +
         streamed.substr(0, 80));
  const bool fastMayDiffer = refused && CodeSetRefusal(streamed);
  if (fast != streamed && !fastMayDiffer)
    Fail("the fast and the zlib streaming way differ: " + fast.substr(0, 80) + " / " +
         streamed.substr(0, 80));
  if (!fast.empty() && fast[0] != '\0' && fast.size() != static_cast<size_t>(unpacked))
    Fail("the fast way gave a wrong number of bytes");
  // Cut into pieces where the bytes look like a flush, joined or settled.
  if (Outcome([&] { return InflateBody(body, unpacked, TInflateWay::Pieces, end); }) != fast &&
      !fastMayDiffer)
    Fail("the pieces and the fast way differ");
  // Byte by byte only the refusal's reason may read differently (the input
  // runs out at another place).
  for (const TInflateWay way : {TInflateWay::Zlib, TInflateWay::Fast}) {
    const std::string one = byByte(way);
    const std::string& fed = way == TInflateWay::Zlib ? streamed : fast;
    if (one != fed && !(refused && !one.empty() && one[0] == '\0') &&
        !(way == TInflateWay::Fast && fastMayDiffer))
      Fail("a streaming way fed byte by byte differs");
  }
  // What `verify` passes, the extractor takes, with the same bytes.
  if (end == TBodyEnd::Exact && !refused &&
      Outcome([&] { return InflateBody(body, unpacked, TInflateWay::Zlib); }) != whole)
    Fail("a body sound to the exact end is refused or read otherwise by the extractor");
}

namespace {

void RoundTrip(std::string_view section, uint32_t rva) {
  TResourceTree tree;
  try {
    tree = ReadResourceTree(section, rva);
  } catch (const PeError&) {
    return;
  }
  const std::string written = WriteResourceSection(tree, rva);
  if (ReadResourceTree(written, rva) != tree) {
    std::fprintf(stderr, "a resource tree written does not read back the same\n");
    std::abort();
  }
}

}  // namespace

void FuzzResources(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  RoundTrip(bytes, 0x1000);
  try {
    PeImage image{std::string(bytes)};
    const TDataDirectory d = image.Directory(kResourceDirectory);
    const int section = d.rva != 0 ? image.SectionOf(d.rva) : -1;
    if (section >= 0 && image.Sections()[static_cast<size_t>(section)].virtualAddress == d.rva) {
      RoundTrip(image.SectionData(section), d.rva);
      if (image.IsLastSection(section))
        image.ReplaceLastSection(WriteResourceSection({}, d.rva), kResourceDirectory);
    }
  } catch (const PeError&) {
  }
}
