// Scratch folders and hand-made packages for the package tests.
#pragma once

#include <gtest/gtest.h>
#include <zlib.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "common/Text.h"
#include "common/tests/ErrorOf.h"
#include "fs/File.h"
#include "package/Extractor.h"
#include "package/NvCrypUtils.h"
#include "package/Writer.h"
#include "testsupport/Files.h"

#ifdef _WIN32
#include "shell/Drives.h"
#include "win/AnsiCodePage.h"
#endif

namespace fs = std::filesystem;

inline std::string Deflate(const std::string& data, int level = 9) {
  uLongf size = compressBound(static_cast<uLong>(data.size()));
  std::string out(size, '\0');
  compress2(reinterpret_cast<Bytef*>(out.data()), &size,
            reinterpret_cast<const Bytef*>(data.data()), static_cast<uLong>(data.size()), level);
  out.resize(size);
  return out;
}

inline std::string RandomBytes(size_t n, uint32_t seed, bool compressible) {
  std::mt19937 rng(seed);
  std::string s(n, '\0');
  for (size_t i = 0; i < n; ++i) {
    s[i] = compressible ? static_cast<char>('a' + rng() % 4) : static_cast<char>(rng());
  }
  return s;
}

using testsupport::ReadAll;
using testsupport::WriteAll;

// One row of a hand-made package: its cells as they stand in the index, and
// the body bytes that go into the package for it.
struct Entry {
  std::u16string folder = {};
  std::u16string name = {};  // escaped by the helper
  std::string content = {};
  std::u16string extra = {};         // a fifth cell when not empty
  std::string body = {};             // the stored body; deflated content when empty
  std::u16string storedCell = {};    // overrides the stored size cell
  std::u16string unpackedCell = {};  // overrides the unpacked size cell
};

struct Scratch : testing::Test {
  fs::path root;
  std::u16string dest;    // ends in "\"
  std::u16string system;  // ends in "\"
  TExtractOptions options;
  std::vector<int64_t> percents;
  TProgressEvent progress = [this](int64_t p) { percents.push_back(p); };

  void SetUp() override {
    const auto* info = testing::UnitTest::GetInstance()->current_test_info();
    root = testsupport::ScratchFolder("stp-" + std::string(info->name()));
    dest = FromFsPath(root / "dest") + u"\\";
#ifdef _WIN32
    system = GetSystemDir();
    options.codePage = &AnsiCodePage();
#else
    system = FromFsPath(root / "system") + u"\\";
    fs::create_directories(root / "system");
#endif
    options.systemDir = [this] { return system; };
  }
  void TearDown() override {
    std::error_code ec;
    fs::remove_all(root, ec);
  }

  fs::path Dest(const std::u16string& rel = u"") const {
    return ToFsPath(dest + rel);
  }
  fs::path Sys(const std::u16string& rel) const {
    return ToFsPath(system + rel);
  }

  // A package file made of entries, with the given envelope and trailer.
  std::u16string Make(const std::vector<Entry>& entries, uint32_t hash = 3, uint32_t cipher = 5,
                      int trailer = 3, const std::u16string& password = u"") {
    std::string bodies;
    std::u16string text;
    for (size_t i = 0; i < entries.size(); ++i) {
      const Entry& e = entries[i];
      const std::string body = e.body.empty() && !e.content.empty() ? Deflate(e.content) : e.body;
      bodies += body;
      std::u16string name = e.name;
      for (auto& c : name) {
        if (c == u',')
          c = u'\x1A';
        if (c == u'|')
          c = u'\x1B';
      }
      if (i)
        text += u'|';
      text += e.folder + u',' + name + u',' +
              (e.storedCell.empty() ? IntToText(static_cast<int64_t>(body.size())) : e.storedCell) +
              u',' +
              (e.unpackedCell.empty() ? IntToText(static_cast<int64_t>(e.content.size()))
                                      : e.unpackedCell);
      if (!e.extra.empty())
        text += u',' + e.extra;
    }
    TPackOptions po;
    po.hash = hash;
    po.cipher = cipher;
    po.trailer = trailer;
    po.password = password;
    po.codePage = options.codePage;
    return Store(AssemblePackage(bodies, text, po));
  }

  std::u16string Store(const std::string& bytes) {
    static int n = 0;
    const fs::path p = root / ("p" + std::to_string(++n) + ".stp");
    WriteAll(p, bytes);
    return FromFsPath(p);
  }

  void Extract(const std::u16string& package) {
    ExtractPackage(package, dest, u"", progress, options);
  }

  // Every file under the scratch folder, relative, sorted, with its size.
  std::vector<std::string> Files(const fs::path& under) const {
    std::vector<std::string> out;
    if (!fs::exists(under))
      return out;
    for (const auto& e : fs::recursive_directory_iterator(under)) {
      if (e.is_regular_file()) {
        out.push_back(e.path().lexically_relative(under).generic_string() + ":" +
                      std::to_string(e.file_size()));
      }
    }
    std::sort(out.begin(), out.end());
    return out;
  }
};
