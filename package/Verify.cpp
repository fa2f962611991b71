#include "package/Verify.h"

#include <zlib.h>

#include <algorithm>
#include <vector>

#include "common/Errors.h"
#include "common/Text.h"
#include "fs/File.h"
#include "package/NvCrypUtils.h"
#include "package/Package.h"

namespace {

constexpr size_t kChunk = 64 * 1024;

class Inflater {
 public:
  Inflater() {
    if (inflateInit(&zs_) != Z_OK)
      throw Error(u"zlib cannot start");
  }
  ~Inflater() { inflateEnd(&zs_); }
  Inflater(const Inflater&) = delete;
  Inflater& operator=(const Inflater&) = delete;
  z_stream* get() { return &zs_; }

 private:
  z_stream zs_{};
};

// Inflates one body from the package's current position and checks that the
// zlib stream ends exactly at its stored size with exactly its unpacked size.
void CheckBody(InFile& package, int32_t stored, int32_t unpacked, std::vector<uint8_t>& inBuf,
               std::vector<uint8_t>& outBuf) {
  if (stored == 0) {
    if (unpacked != 0)
      throw PackageReadError(u"an empty body cannot give " + IntToText(unpacked) + u" bytes");
    return;
  }
  Inflater zs;
  z_stream* z = zs.get();
  int64_t inLeft = stored;
  int64_t produced = 0;
  for (;;) {
    if (z->avail_in == 0) {
      if (inLeft == 0) {
        throw PackageReadError(u"the body's " + IntToText(stored) +
                               u" stored bytes end before its zlib stream does (" +
                               IntToText(produced) + u" bytes unpacked so far)");
      }
      const size_t n = static_cast<size_t>(std::min<int64_t>(inLeft, kChunk));
      package.ReadExact(inBuf.data(), n);
      inLeft -= static_cast<int64_t>(n);
      z->next_in = inBuf.data();
      z->avail_in = static_cast<uInt>(n);
    }
    z->next_out = outBuf.data();
    z->avail_out = static_cast<uInt>(outBuf.size());
    const int rc = inflate(z, Z_NO_FLUSH);
    produced += static_cast<int64_t>(outBuf.size() - z->avail_out);
    if (produced > unpacked) {
      throw PackageReadError(u"the body unpacks to more than its " + IntToText(unpacked) +
                             u" bytes");
    }
    if (rc == Z_STREAM_END)
      break;
    if (rc != Z_OK && rc != Z_BUF_ERROR) {
      throw PackageReadError(u"the body is not a valid zlib stream" +
                             (z->msg ? u" (" + FromUtf8(z->msg) + u")" : std::u16string()));
    }
  }
  if (produced != unpacked) {
    throw PackageReadError(u"the body unpacks to " + IntToText(produced) + u" bytes instead of " +
                           IntToText(unpacked));
  }
  const int64_t unused = inLeft + z->avail_in;
  if (unused != 0) {
    throw PackageReadError(u"the body's zlib stream ends " + IntToText(unused) +
                           u" bytes before its stored size of " + IntToText(stored));
  }
}

}  // namespace

TVerifyResult VerifyPackage(std::u16string_view packagePath, std::u16string_view password,
                            const TExtractOptions& options, const TProgressEvent& progress) {
  TExtractOptions planOptions = options;
  // Nothing is written: a system row only needs a folder to be named by.
  planOptions.systemDir = [] { return std::u16string(u"<system>\\"); };
  const std::vector<TRowPlan> rows = PlanPackage(packagePath, u"<dest>\\", password, planOptions);
  InFile package(packagePath);
  TVerifyResult result;
  // Every index that opens has at least one row: an empty list means the
  // length field said there is none.
  result.usableIndex = !rows.empty();
  int64_t total = 0;
  for (const TRowPlan& r : rows)
    total += r.unpackedSize;
  std::vector<uint8_t> inBuf(kChunk), outBuf(kChunk);
  int64_t at = 0, done = 0;
  for (size_t i = 0; i < rows.size(); ++i) {
    const TRowPlan& r = rows[i];
    try {
      package.Seek(at);
      CheckBody(package, r.storedSize, r.unpackedSize, inBuf, outBuf);
    } catch (const Error& e) {
      throw PackageReadError(u"row " + IntToText(static_cast<int64_t>(i) + 1) + u" (" + r.folder +
                             r.fileName + u"): " + e.Message());
    }
    at += r.storedSize;
    done += r.unpackedSize;
    result.stored += r.storedSize;
    result.unpacked += r.unpackedSize;
    ++result.files;
    if (progress)
      progress(ProgressPercent(done, total));
  }
  return result;
}

TIndexState ExamineIndex(std::u16string_view packagePath, std::u16string_view password,
                         const CodePage& codePage) {
  InFile package(packagePath);
  const std::optional<TPackageIndex> index = ReadPackageIndex(package, codePage);
  if (!index)
    return TIndexState::NoIndex;
  return DecryptText(index->Text, password, codePage).empty() ? TIndexState::NotAnEnvelope
                                                              : TIndexState::Opens;
}
