#include "package/Writer.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <deque>
#include <functional>
#include <limits>
#include <memory>
#include <system_error>
#include <vector>

#include "common/Bytes.h"
#include "common/Errors.h"
#include "common/Parallel.h"
#include "common/Path.h"
#include "common/Text.h"
#include "fs/Errors.h"
#include "fs/File.h"
#include "package/Deflate.h"
#include "package/NvCrypUtils.h"
#include "package/Package.h"
#include "package/PeSignature.h"
#include "package/UninstallList.h"
#include "package/Verify.h"

namespace fs = std::filesystem;

namespace {

// A body's source: a file, or bytes in memory (the uninstaller with its
// list). Read piece by piece.
class Source {
 public:
  explicit Source(const fs::path& path) : path_(path), in_(OpenStdFile(path, false), std::fclose) {
    if (!in_)
      throw FileError(u"cannot open " + FromFsPath(path));
  }
  explicit Source(const std::string& bytes) : bytes_(&bytes), in_(nullptr, std::fclose) {}

  // Up to size bytes into buffer; fewer only at the end.
  size_t Read(uint8_t* buffer, size_t size) {
    if (bytes_) {
      const size_t n = std::min(size, bytes_->size() - at_);
      std::memcpy(buffer, bytes_->data() + at_, n);
      at_ += n;
      return n;
    }
    const size_t n = std::fread(buffer, 1, size, in_.get());
    if (std::ferror(in_.get()))
      throw FileError(u"cannot read " + FromFsPath(path_));
    return n;
  }
  bool AtEnd() {
    if (bytes_)
      return at_ == bytes_->size();
    const int c = std::fgetc(in_.get());
    if (c == EOF) {
      if (std::ferror(in_.get()))
        throw FileError(u"cannot read " + FromFsPath(path_));
      return true;
    }
    std::ungetc(c, in_.get());
    return false;
  }

 private:
  fs::path path_;
  const std::string* bytes_ = nullptr;
  size_t at_ = 0;
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> in_;
};

// Bodies compressed piece by piece on several threads and written in the
// order of their rows, whatever the number of threads. In flight at once:
// at most two pieces a thread (each at most kPieceSize bytes in and about as
// much out), so memory does not grow with the files. A compressor of levels
// 10 to 12 holds about 9 MB, one of the lower levels about 1 MB: at most 4
// and 16 threads of them keep stp below 64 MB.
constexpr int kMaxThoroughThreads = 4;
class BodyWriter {
 public:
  BodyWriter(OutFile& out, int level, int threads)
      : out_(out),
        level_(level),
        threads_(std::clamp(threads, 1, level >= 10 ? kMaxThoroughThreads : kMaxPackThreads)),
        compressors_(static_cast<size_t>(threads_)),
        work_(threads_, 2 * static_cast<size_t>(threads_)) {}

  // Compresses the source as the next body; done(stored, unpacked) is called
  // once it is written.
  void Add(Source source, std::function<void(int64_t, int64_t)> done) {
    auto body = std::make_shared<Body>();
    body->done = std::move(done);
    bool first = true;
    for (bool last = false; !last; first = false) {
      auto piece = std::make_shared<TPiece>();
      piece->in.reset(new uint8_t[kPieceSize]);
      piece->inSize = source.Read(piece->in.get(), kPieceSize);
      piece->first = first;
      last = piece->inSize < kPieceSize || source.AtEnd();
      piece->last = last;
      while (work_.Full())
        WriteOldest();
      pending_.push_back({piece, body});
      work_.Give([this, piece](int worker) {
        auto& compressor = compressors_[static_cast<size_t>(worker)];
        if (!compressor)
          compressor = std::make_unique<TPieceCompressor>(level_);
        compressor->Compress(*piece);
      });
    }
  }

  // Writes every body still in flight.
  void Finish() {
    while (!work_.Empty())
      WriteOldest();
  }

 private:
  struct Body {
    std::function<void(int64_t, int64_t)> done;
    TBodyCheck check;
    int64_t stored = 0, unpacked = 0;
  };
  struct Pending {
    std::shared_ptr<TPiece> piece;
    std::shared_ptr<Body> body;
  };

  void WriteOldest() {
    work_.TakeOldest();
    const Pending p = std::move(pending_.front());
    pending_.pop_front();
    out_.Write(p.piece->out.get(), p.piece->outSize);
    p.body->stored += static_cast<int64_t>(p.piece->outSize);
    p.body->unpacked += static_cast<int64_t>(p.piece->inSize);
    p.body->check.Add(p.piece->adler, p.piece->inSize);
    if (p.piece->last) {
      uint8_t trailer[4];
      p.body->check.Trailer(trailer);
      out_.Write(trailer, 4);
      p.body->stored += 4;
      p.body->done(p.body->stored, p.body->unpacked);
    }
  }

  OutFile& out_;
  int level_;
  int threads_;
  std::deque<Pending> pending_;
  std::vector<std::unique_ptr<TPieceCompressor>> compressors_;
  // Last: its destructor waits for the jobs running, which use the above.
  TOrderedWork work_;
};

const char16_t kUninstallerName[] = u"Uninst.exe";

bool IsOwnUninstaller(const fs::path& rel) {
  return !rel.has_parent_path() && SamePath(FromFsPath(rel), kUninstallerName);
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
  TPathSplit split = SplitPath(relText);
  row.folder = std::move(split.folder);
  row.name = std::move(split.name);
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

std::u16string DerivedPrintable(std::u16string_view seed, size_t n) {
  const auto hash = CreateHashBySelector(3);  // SHA-256
  std::u16string out;
  for (uint32_t round = 0; out.size() < n; ++round) {
    hash->Init();
    const std::string bytes = ToUtf8(std::u16string(seed)) + '\0' + std::to_string(round);
    hash->Update(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
    std::vector<uint8_t> digest(static_cast<size_t>(hash->DigestSize()) / 8);
    hash->Final(digest.data());
    for (uint8_t b : digest) {
      if (out.size() < n && b < 248)  // 248 = 4 * 62: no bias
        out += kLettersAndDigits[b % 62];
    }
  }
  return out;
}

bool IsPrintableKeyText(std::u16string_view text, size_t n) {
  return text.size() == n && text.find_first_not_of(kLettersAndDigits) == std::u16string_view::npos;
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
    salt = RandomName(8, kLettersAndDigits);
  if (iv.empty())
    iv = RandomName(ivSize, kLettersAndDigits);
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
  // Every row is named before its body is written: the uninstaller's list
  // needs only the names.
  std::vector<TIndexRow> rows;
  for (const fs::path& file : files)
    rows.push_back(RowOf(file.lexically_relative(root)));
  if (result.uninstallerAdded && !finished)
    uninstaller += MakeUninstallList(ListOf(rows));
  try {
    {
      OutFile out(temp);
      BodyWriter bodies(out, options.level, options.threads);
      const auto add = [&](Source source, const std::u16string& relText) {
        if (options.onFile)
          options.onFile(relText);
        const size_t row = static_cast<size_t>(result.files++);
        bodies.Add(std::move(source), [&, row, relText](int64_t stored, int64_t unpacked) {
          if (unpacked > std::numeric_limits<int32_t>::max() ||
              stored > std::numeric_limits<int32_t>::max()) {
            throw Error(relText + u" is larger than a package can hold");
          }
          result.unpacked += unpacked;
          if (result.unpacked > std::numeric_limits<int32_t>::max())
            throw Error(u"the files add up to more than a package can hold (2 GiB)");
          rows[row].stored = static_cast<int32_t>(stored);
          rows[row].unpacked = static_cast<int32_t>(unpacked);
        });
      };
      for (const fs::path& file : files)
        add(Source(file), FromFsPath(file.lexically_relative(root)));  // with "\" separators
      if (result.uninstallerAdded) {
        // The list names every row, the uninstaller's own included.
        rows.push_back({u"", kUninstallerName, 0, 0});
        add(Source(uninstaller), kUninstallerName);
      }
      bodies.Finish();
      const std::string tail = AssemblePackage(std::string(), MakeIndexText(rows), options);
      out.Write(tail.data(), tail.size());
      out.Close();
    }
    // What was written must read back: every row, every body.
    TExtractOptions check;
    check.codePage = options.codePage;
    check.threads = options.threads;
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
