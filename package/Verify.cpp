#include "package/Verify.h"

#include <algorithm>
#include <memory>
#include <vector>

#include "common/Errors.h"
#include "common/Text.h"
#include "fs/File.h"
#include "package/BodyWork.h"
#include "package/Errors.h"
#include "package/Inflate.h"
#include "package/NvCrypUtils.h"
#include "package/Package.h"

TVerifyResult VerifyPackage(std::u16string_view packagePath, std::u16string_view password,
                            const TExtractOptions& options, const TProgressEvent& progress) {
  TExtractOptions planOptions = options;
  // Nothing is written: a system row only needs a folder to be named by.
  planOptions.systemDir = [] { return std::u16string(u"<system>\\"); };
  const std::vector<TRowPlan> rows = PlanPackage(packagePath, u"<dest>\\", password, planOptions);
  TVerifyResult result;
  // Every index that opens has at least one row: an empty list means the
  // length field said there is none.
  result.usableIndex = !rows.empty();
  int64_t total = 0;
  for (const TRowPlan& r : rows)
    total += r.unpackedSize;
  // The extractor's own way (package/BodyWork.h), into an output that keeps
  // nothing, holding each body to the exact end; the rows taken back in
  // order, so that the first bad row is named whatever the number of
  // threads.
  InFile package(packagePath);
  int64_t done = 0;
  TBodyWork work(
      package, packagePath, options.threads, options.inflateBound, TBodyEnd::Exact,
      [&](size_t row, const std::function<void()>& step) {
        try {
          step();
        } catch (const Error& e) {
          const TRowPlan& r = rows[row];
          throw PackageReadError(u"row " + IntToText(static_cast<int64_t>(row) + 1) + u" (" +
                                 r.folder + r.fileName + u"): " + e.Message());
        }
      },
      [&](size_t row, bool) {
        const TRowPlan& r = rows[row];
        done += r.unpackedSize;
        result.stored += r.storedSize;
        result.unpacked += r.unpackedSize;
        ++result.files;
        if (progress)
          progress(ProgressPercent(done, total));
      });
  const auto nowhere = std::make_shared<const TBodyOut>(
      TBodyOut{{}, [](const uint8_t*, size_t) {}});
  int64_t at = 0;
  for (size_t i = 0; i < rows.size(); ++i) {
    work.Give(i, {at, rows[i].storedSize, rows[i].unpackedSize}, nowhere);
    at += rows[i].storedSize;
  }
  work.Finish();
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
