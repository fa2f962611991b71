#include "package/Verify.h"

#include <algorithm>
#include <memory>
#include <vector>

#include "common/Errors.h"
#include "common/Parallel.h"
#include "common/Text.h"
#include "fs/File.h"
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
  // The extractor's own way, into an output that keeps nothing, holding
  // each body to the exact end; on several threads, each with its own
  // reading of the package, the rows taken back in order, so that the first
  // bad row is named whatever the number of threads.
  const int threads = std::max(options.threads, 1);
  std::vector<std::unique_ptr<InFile>> readers(static_cast<size_t>(threads));
  std::vector<std::unique_ptr<TBodyInflater>> inflaters(static_cast<size_t>(threads));
  TOrderedWork work(threads, 2 * static_cast<size_t>(threads));
  const TInflateOutput nowhere = [](const uint8_t*, size_t) {};
  int64_t at = 0, done = 0;
  size_t taken = 0;
  const auto takeOldest = [&] {
    const TRowPlan& r = rows[taken];
    try {
      work.TakeOldest();
    } catch (const Error& e) {
      throw PackageReadError(u"row " + IntToText(static_cast<int64_t>(taken) + 1) + u" (" +
                             r.folder + r.fileName + u"): " + e.Message());
    }
    ++taken;
    done += r.unpackedSize;
    result.stored += r.storedSize;
    result.unpacked += r.unpackedSize;
    ++result.files;
    if (progress)
      progress(ProgressPercent(done, total));
  };
  for (const TRowPlan& r : rows) {
    while (work.Full())
      takeOldest();
    work.Give([&, bodyAt = at, stored = r.storedSize, unpacked = r.unpackedSize](int worker) {
      auto& reader = readers[static_cast<size_t>(worker)];
      auto& inflater = inflaters[static_cast<size_t>(worker)];
      if (!reader) {
        reader = std::make_unique<InFile>(packagePath);
        inflater = std::make_unique<TBodyInflater>(options.inflateBound);
      }
      reader->Seek(bodyAt);
      inflater->Inflate(*reader, stored, unpacked, nowhere, TBodyEnd::Exact);
    });
    at += r.storedSize;
  }
  while (!work.Empty())
    takeOldest();
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
