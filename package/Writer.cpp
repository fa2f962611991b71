#include "package/Writer.h"

#include <algorithm>
#include <cstring>
#include <functional>
#include <limits>
#include <random>
#include <system_error>
#include <vector>

#include "common/Errors.h"
#include "common/Text.h"
#include "fs/File.h"
#include "package/NvCrypUtils.h"
#include "package/Package.h"
#include "package/PeSignature.h"
#include "package/UninstallList.h"
#include "package/Verify.h"
#include "package/ZStream.h"

namespace fs = std::filesystem;

namespace {

constexpr size_t kChunk = 64 * 1024;

// Compresses what read gives into out; read fills a buffer and returns how
// much it put there, 0 at the end. Returns {stored, unpacked}.
std::pair<int64_t, int64_t> Compress(const std::function<size_t(uint8_t*, size_t)>& read,
                                     OutFile& out, int level) {
  ZStream zs(level);
  std::vector<uint8_t> inBuf(kChunk), outBuf(kChunk);
  int64_t stored = 0, unpacked = 0;
  int flush = Z_NO_FLUSH;
  do {
    const size_t n = read(inBuf.data(), kChunk);
    unpacked += static_cast<int64_t>(n);
    flush = n == 0 ? Z_FINISH : Z_NO_FLUSH;
    zs.get()->next_in = inBuf.data();
    zs.get()->avail_in = static_cast<uInt>(n);
    do {
      zs.get()->next_out = outBuf.data();
      zs.get()->avail_out = static_cast<uInt>(kChunk);
      deflate(zs.get(), flush);
      const size_t got = kChunk - zs.get()->avail_out;
      out.Write(outBuf.data(), got);
      stored += static_cast<int64_t>(got);
    } while (zs.get()->avail_out == 0);
  } while (flush != Z_FINISH);
  return {stored, unpacked};
}

std::pair<int64_t, int64_t> CompressFile(const fs::path& path, OutFile& out, int level) {
  std::FILE* in = OpenStdFile(path, false);
  if (in == nullptr)
    throw FileError(u"cannot open " + FromFsPath(path));
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> guard(in, std::fclose);
  return Compress(
      [&](uint8_t* buffer, size_t size) {
        const size_t n = std::fread(buffer, 1, size, in);
        if (std::ferror(in))
          throw FileError(u"cannot read " + FromFsPath(path));
        return n;
      },
      out, level);
}

std::pair<int64_t, int64_t> CompressBytes(const std::string& bytes, OutFile& out, int level) {
  size_t at = 0;
  return Compress(
      [&](uint8_t* buffer, size_t size) {
        const size_t n = std::min(size, bytes.size() - at);
        std::memcpy(buffer, bytes.data() + at, n);
        at += n;
        return n;
      },
      out, level);
}

const char16_t kUninstallerName[] = u"Uninst.exe";

bool IsOwnUninstaller(const fs::path& rel) {
  return !rel.has_parent_path() && AsciiUpper(FromFsPath(rel)) == AsciiUpper(kUninstallerName);
}

// The uninstaller program without a list an earlier packing left on it.
std::string UninstallerProgram(const std::u16string& path) {
  if (!FileExists(path))
    throw FileError(u"the uninstaller program " + path + u" does not exist");
  std::string bytes = ReadFileBytes(path);
  if (FindSignatureTable(bytes)) {
    // The list goes after the signature's table, where it would break the
    // signature; a signed uninstaller is made with its list, then signed.
    throw Error(u"the uninstaller program " + path +
                u" is signed, and the list of installed files added to it would break its "
                u"signature: give its unsigned build, or write the uninstaller with \"stp "
                u"uninstaller DIR -o DIR/Uninst.exe\", sign that and pack DIR");
  }
  bytes.resize(UninstallListStart(bytes));
  return bytes;
}

// The row of a file at rel (a path relative to the packed folder).
TIndexRow RowOf(const fs::path& rel) {
  const std::u16string relText = FromFsPath(rel);  // with "\" separators
  TIndexRow row;
  const size_t cut = relText.find_last_of(u'\\');
  row.folder = cut == std::u16string::npos ? u"" : relText.substr(0, cut + 1);
  row.name = cut == std::u16string::npos ? relText : relText.substr(cut + 1);
  if (row.folder.rfind(u"$System$\\", 0) == 0)
    row.folder = u"$System$" + row.folder.substr(9);
  return row;
}

std::u16string Escaped(std::u16string_view s) {
  std::u16string out(s);
  for (auto& c : out) {
    if (c == u',')
      c = u'\x1A';
    if (c == u'|')
      c = u'\x1B';
  }
  return out;
}

// The uninstaller's list for these rows and itself.
std::vector<TUninstallRow> ListOf(const std::vector<TIndexRow>& rows) {
  std::vector<TUninstallRow> list;
  for (const TIndexRow& r : rows)
    list.push_back({r.folder, r.name, IsSystemFolder(r.folder)});
  list.push_back({u"", kUninstallerName, false});
  return list;
}

// Every file under root, in the order of the package's rows.
std::vector<fs::path> PackedFiles(const fs::path& root, std::u16string_view dir) {
  std::error_code ec;
  // Files in a stable order: folder by folder, names sorted.
  std::vector<fs::path> files;
  for (auto it = fs::recursive_directory_iterator(root, ec); !ec && it != fs::end(it);
       it.increment(ec)) {
    if (it->is_regular_file(ec))
      files.push_back(it->path());
  }
  if (ec)
    throw FileError(u"cannot list " + std::u16string(dir) + u": " + FromUtf8(ec.message()));
  // By the relative path's names, folder by folder, compared by code point:
  // the same order on every system whatever its locale or path type.
  auto key = [&](const fs::path& f) {
    std::string k = ToUtf8(FromFsPath(f.lexically_relative(root)));
    std::replace(k.begin(), k.end(), '\\', '\x01');
    return k;
  };
  std::vector<std::pair<std::string, fs::path>> keyed;
  for (auto& f : files)
    keyed.emplace_back(key(f), std::move(f));
  std::sort(keyed.begin(), keyed.end(), [](const auto& a, const auto& b) {
    return std::lexicographical_compare(
        a.first.begin(), a.first.end(), b.first.begin(), b.first.end(), [](char x, char y) {
          return static_cast<unsigned char>(x) < static_cast<unsigned char>(y);
        });
  });
  files.clear();
  for (auto& kf : keyed)
    files.push_back(std::move(kf.second));
  if (files.empty()) {
    // An index without rows is one that no reader accepts.
    throw Error(u"the folder " + std::u16string(dir) +
                u" holds no files: there is nothing to pack");
  }

  return files;
}

}  // namespace

bool HasOwnUninstaller(std::u16string_view dir) {
  std::error_code ec;
  for (auto it = fs::directory_iterator(ToFsPath(dir), ec); !ec && it != fs::end(it);
       it.increment(ec)) {
    if (it->is_regular_file(ec) && IsOwnUninstaller(it->path().filename()))
      return true;
  }
  return false;
}

std::u16string RandomPrintable(size_t n) {
  std::random_device rd;
  std::uniform_int_distribution<int> pick(u'0', u'z');
  std::u16string out;
  while (out.size() < n) {
    const char16_t c = static_cast<char16_t>(pick(rd));
    if ((c >= u'0' && c <= u'9') || (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z'))
      out += c;
  }
  return out;
}

namespace {

bool IsKeyChar(char16_t c) {
  return (c >= u'0' && c <= u'9') || (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z');
}

}  // namespace

std::u16string DerivedPrintable(std::u16string_view seed, size_t n) {
  const auto hash = CreateHashBySelector(3);  // SHA-256
  std::u16string out;
  for (uint32_t round = 0; out.size() < n; ++round) {
    hash->Init();
    const std::string bytes = ToUtf8(std::u16string(seed)) + '\0' + std::to_string(round);
    hash->Update(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
    std::vector<uint8_t> digest(static_cast<size_t>(hash->DigestSize()) / 8);
    hash->Final(digest.data());
    static const char16_t kAlphabet[] =
        u"0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
    for (uint8_t b : digest) {
      if (out.size() < n && b < 248)  // 248 = 4 * 62: no bias
        out += kAlphabet[b % 62];
    }
  }
  return out;
}

bool IsPrintableKeyText(std::u16string_view text, size_t n) {
  return text.size() == n && std::all_of(text.begin(), text.end(), IsKeyChar);
}

size_t VectorSize(uint32_t cipherSel) {
  const auto cipher = CreateCipherBySelector(cipherSel);
  if (!cipher || cipherSel > 8)
    throw Error(u"no such cipher");
  return cipher->IsBlockCipher() ? static_cast<size_t>(cipher->BlockSize()) / 8 : 0;
}

std::u16string MakeIndexText(const std::vector<TIndexRow>& rows) {
  std::u16string text;
  for (size_t i = 0; i < rows.size(); ++i) {
    const TIndexRow& r = rows[i];
    if (r.folder.find_first_of(u",|") != std::u16string::npos) {
      throw Error(u"the folder \"" + r.folder +
                  u"\" holds \",\" or \"|\", which an index cannot carry");
    }
    for (char16_t c : r.folder + r.name) {
      if (c < 32)
        throw Error(u"the name \"" + r.folder + r.name + u"\" holds a control character");
    }
    if (i)
      text += u'|';
    text += r.folder + u',' + Escaped(r.name) + u',' + IntToText(r.stored) + u',' +
            IntToText(r.unpacked);
  }
  // A leading "#" would be read as a property header.
  if (!text.empty() && text[0] == u'#')
    text = u"##" + text;
  return text;
}

std::string AssemblePackage(const std::string& bodies, const std::u16string& indexText,
                            const TPackOptions& options) {
  const CodePage& cp = options.codePage ? *options.codePage : Cp1252();
  const size_t ivSize = VectorSize(options.cipher);
  std::u16string salt = options.salt, iv = options.iv;
  if (!options.seed.empty()) {
    // The index holds every name and size, so equal inputs give equal values.
    const std::u16string seed = options.seed + u'\n' + indexText;
    if (salt.empty())
      salt = DerivedPrintable(u"salt\n" + seed, 8);
    if (iv.empty() && ivSize > 0)
      iv = DerivedPrintable(u"iv\n" + seed, ivSize);
  }
  if (salt.empty())
    salt = RandomPrintable(8);
  if (iv.empty())
    iv = RandomPrintable(ivSize);
  if (!IsPrintableKeyText(salt, 8))
    throw Error(u"the salt \"" + salt + u"\" is not 8 letters or digits");
  if (!IsPrintableKeyText(iv, ivSize)) {
    throw Error(u"the vector \"" + iv + u"\" is not " + IntToText(static_cast<int64_t>(ivSize)) +
                u" letters or digits, one block of " + FromUtf8(CipherName(options.cipher)));
  }
  const std::u16string envelope =
      EncryptText(indexText, options.password, options.hash, options.cipher, salt, iv, cp);
  const std::string index = cp.Narrow(envelope);
  std::string out = bodies + index;
  const uint32_t l = static_cast<uint32_t>(index.size());
  for (int i = 0; i < 4; ++i)
    out += static_cast<char>((l >> (8 * i)) & 0xFF);
  out += MakeTrailer(options.trailer);
  return out;
}

TPackResult PackDirectory(std::u16string_view dir, std::u16string_view packagePath,
                          const TPackOptions& options) {
  const fs::path root = ToFsPath(dir);
  std::error_code ec;
  if (!fs::is_directory(root, ec))
    throw FileError(u"no folder " + std::u16string(dir));
  MakeTrailer(options.trailer);  // checks it before any work
  TPackResult result;

  const std::vector<fs::path> files = PackedFiles(root, dir);
  std::string uninstaller;
  const bool finished = !options.finishedUninstaller.empty();
  if (!options.uninstaller.empty() || finished) {
    const bool own = std::any_of(files.begin(), files.end(), [&](const fs::path& f) {
      return IsOwnUninstaller(f.lexically_relative(root));
    });
    if (!own) {
      uninstaller = finished ? ReadFileBytes(options.finishedUninstaller)
                             : UninstallerProgram(options.uninstaller);
      result.uninstallerAdded = true;
    }
  }

  const std::u16string temp = std::u16string(packagePath) + u".part";
  std::vector<TIndexRow> rows;
  try {
    {
      OutFile out(temp);
      for (const fs::path& file : files) {
        const fs::path rel = file.lexically_relative(root);
        const std::u16string relText = FromFsPath(rel);  // with "\" separators
        if (options.onFile)
          options.onFile(relText);
        TIndexRow row = RowOf(rel);
        const auto [stored, unpacked] = CompressFile(file, out, options.level);
        if (unpacked > std::numeric_limits<int32_t>::max() ||
            stored > std::numeric_limits<int32_t>::max()) {
          throw Error(relText + u" is larger than a package can hold");
        }
        result.unpacked += unpacked;
        if (result.unpacked > std::numeric_limits<int32_t>::max()) {
          throw Error(u"the files add up to more than a package can hold (2 GiB)");
        }
        row.stored = static_cast<int32_t>(stored);
        row.unpacked = static_cast<int32_t>(unpacked);
        rows.push_back(std::move(row));
        ++result.files;
      }
      if (result.uninstallerAdded) {
        // The list names every row, the uninstaller's own included.
        const std::string program =
            finished ? uninstaller : uninstaller + MakeUninstallList(ListOf(rows));
        if (options.onFile)
          options.onFile(kUninstallerName);
        const auto [stored, unpacked] = CompressBytes(program, out, options.level);
        result.unpacked += unpacked;
        if (result.unpacked > std::numeric_limits<int32_t>::max()) {
          throw Error(u"the files add up to more than a package can hold (2 GiB)");
        }
        rows.push_back(
            {u"", kUninstallerName, static_cast<int32_t>(stored), static_cast<int32_t>(unpacked)});
        ++result.files;
      }
      const std::string tail = AssemblePackage(std::string(), MakeIndexText(rows), options);
      out.Write(tail.data(), tail.size());
      out.Close();
    }
    // What was written must read back: every row, every body.
    TExtractOptions check;
    check.codePage = options.codePage;
    try {
      if (options.verify)
        VerifyPackage(temp, options.password, check);
    } catch (const Error& e) {
      throw Error(u"the package just written does not read back: " + e.Message());
    }
    fs::rename(ToFsPath(temp), ToFsPath(packagePath), ec);
    if (ec)
      throw FileError(u"cannot write " + std::u16string(packagePath) + u": " +
                      FromUtf8(ec.message()));
  } catch (...) {
    fs::remove(ToFsPath(temp), ec);
    throw;
  }
  result.packageSize = static_cast<int64_t>(fs::file_size(ToFsPath(packagePath), ec));
  return result;
}

std::string MakeUninstallerFor(std::u16string_view dir, const std::u16string& program) {
  const fs::path root = ToFsPath(dir);
  std::error_code ec;
  if (!fs::is_directory(root, ec))
    throw FileError(u"no folder " + std::u16string(dir));
  std::vector<TIndexRow> rows;
  for (const fs::path& file : PackedFiles(root, dir)) {
    const fs::path rel = file.lexically_relative(root);
    if (!IsOwnUninstaller(rel))
      rows.push_back(RowOf(rel));
  }
  return UninstallerProgram(program) + MakeUninstallList(ListOf(rows));
}
