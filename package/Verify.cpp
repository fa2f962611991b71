#include "package/Verify.h"

#include <vector>

#include "common/Errors.h"
#include "common/Text.h"
#include "fs/File.h"
#include "package/Inflate.h"
#include "package/NvCrypUtils.h"
#include "package/Package.h"

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
  // The extractor's own way, into an output that keeps nothing, holding
  // each body to the exact end.
  TBodyInflater inflater(options.inflateBound);
  const TInflateOutput nowhere = [](const uint8_t*, size_t) {};
  int64_t at = 0, done = 0;
  for (size_t i = 0; i < rows.size(); ++i) {
    const TRowPlan& r = rows[i];
    try {
      package.Seek(at);
      inflater.Inflate(package, r.storedSize, r.unpackedSize, nowhere, TBodyEnd::Exact);
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
