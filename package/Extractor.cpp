#include "package/Extractor.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <memory>
#include <system_error>
#include <vector>

#include "common/Errors.h"
#include "common/Path.h"
#include "common/Text.h"
#include "datatable/NvDataTable.h"
#include "fs/Errors.h"
#include "fs/File.h"
#include "package/BodyWork.h"
#include "package/Errors.h"
#include "package/Inflate.h"
#include "package/Journal.h"
#include "package/Names.h"
#include "package/NvCrypUtils.h"
#include "package/Package.h"
#include "package/Transaction.h"

namespace {

std::u16string RowLabel(int index, const TRow& row) {
  std::u16string label = u"row " + IntToText(index + 1);
  if (row.ItemCount() > 1) {
    label += u" (" + row.Items(0).Text() + row.Items(1).Text() + u")";
  }
  return label;
}

// Runs f; an Error it raises goes on as the same kind with the row named.
template <typename F>
auto ForRow(int index, const TRow& row, F&& f) {
  return WithContext([&] { return RowLabel(index, row); }, f);
}

// Runs f for the index-th row; an Error it raises goes on as the same kind
// with the row named as the package lists it.
template <typename F>
auto Labelled(size_t index, const TRowPlan& r, F&& f) {
  return WithContext(
      [&] {
        return u"row " + IntToText(static_cast<int64_t>(index) + 1) + u" (" + r.folder +
               r.fileName + u")";
      },
      f);
}

// Whether something other than a folder stands at rel below the tree's
// root, looked at through the held folders without following a link; a
// level that is missing or a link holds nothing.
bool StandsIn(FolderTree& tree, std::u16string_view rel) {
  std::u16string folder = ParentFolder(rel);
  const size_t cut = folder.size();
  for (char16_t& c : folder) {
    if (c == u'/')
      c = u'\\';
  }
  HeldFolder* held = tree.Find(folder);
  if (held == nullptr || cut == rel.size())
    return false;
  const HeldFolder::Entry entry = held->Look(rel.substr(cut));
  return entry.exists && !entry.folder;
}

struct Plan {
  std::vector<TRowPlan> rows;
  int64_t total = 0;
};

// Reads the index and checks every row; nothing is written.
std::unique_ptr<Plan> MakePlan(InFile& package, std::u16string_view destDir,
                               std::u16string_view password, const TExtractOptions& options,
                               bool keepRefused = false) {
  const CodePage& cp = options.codePage ? *options.codePage : Cp1252();
  const std::optional<TPackageIndex> index = ReadPackageIndex(package, cp);
  auto plan = std::make_unique<Plan>();
  if (!index)
    return plan;

  TDataTable table(u"", TColIndexSet{1});
  table.Init(DecryptText(index->Text, password, cp));

  std::u16string systemDir;
  bool haveSystemDir = false;
  auto system = [&]() -> const std::u16string& {
    if (!haveSystemDir) {
      if (!options.systemDir)
        throw Error(u"no system directory was given for a system file");
      systemDir = options.systemDir();
      if (systemDir.empty())
        throw Error(u"the system directory is unknown");
      if (!IsPathSeparator(systemDir.back()))
        systemDir += u'\\';
      haveSystemDir = true;
    }
    return systemDir;
  };

  // Where a row's file goes; raises PackageReadError for a row refused.
  const auto place = [&](TRowPlan& r, bool uninstaller) {
    if (r.storedSize < 0 || r.unpackedSize < 0)
      throw PackageReadError(u"a size below 0");
    if (uninstaller) {
      r.baseDir = std::u16string(destDir);
      r.place = PlaceRowFile(u"", r.fileName);
    } else if (r.folder.empty() || r.folder[0] != u'$') {
      r.baseDir = std::u16string(destDir);
      r.place = PlaceRowFile(r.folder, r.fileName);
    } else {
      r.system = true;
      r.baseDir = system();
      const std::u16string rest = SystemFolderRest(r.folder, r.baseDir);
      r.place = PlaceRowFile(rest, r.fileName);
      // The file whose presence leaves the row alone also when the name
      // cell holds folders of its own.
      r.existsPath = r.baseDir + rest + r.fileName;
    }
    r.targetDir = r.baseDir + r.place.folder;
    r.targetPath = r.targetDir + r.place.file;
  };

  int64_t storedTotal = 0;
  for (int i = 0; i < table.ItemCount(); ++i) {
    const TRow& row = table.Items(i);
    TRowPlan p = ForRow(i, row, [&] {
      TRowPlan r;
      r.folder = row.Items(0).Text();
      r.fileName = row.Items(1).Text();
      r.storedSize = row.Items(2).Value();
      r.unpackedSize = row.Items(3).Value();
      const bool uninstaller = row.ItemCount() > 4 && row.Items(4).AsBool();
      try {
        place(r, uninstaller);
      } catch (const PackageReadError& e) {
        if (!keepRefused)
          throw;
        TRowPlan kept;
        kept.folder = r.folder;
        kept.fileName = r.fileName;
        kept.storedSize = r.storedSize;
        kept.unpackedSize = r.unpackedSize;
        kept.refused = e.Message();
        r = std::move(kept);
      }
      return r;
    });
    // A listing keeps the row with its reason.
    const auto refuse = [&](const std::u16string& why) {
      if (!keepRefused)
        throw PackageReadError(RowLabel(i, row) + u": " + why);
      if (p.refused.empty())
        p.refused = why;
    };
    storedTotal += p.storedSize;
    plan->total += p.unpackedSize;
    if (storedTotal > index->BodiesSize) {
      refuse(u"the bodies need more than the " + IntToText(index->BodiesSize) +
             u" bytes before the index");
    }
    const int64_t limit =
        std::min<int64_t>(options.maxTotalUnpacked, std::numeric_limits<int32_t>::max());
    if (plan->total > limit)
      refuse(u"the unpacked sizes add up to more than " + IntToText(limit) + u" bytes");
    plan->rows.push_back(std::move(p));
  }
  return plan;
}

}  // namespace

int64_t ProgressPercent(int64_t done, int64_t total) {
  if (total <= 0)
    return 100;
  const double share = static_cast<double>(done) / static_cast<double>(total);
  return static_cast<int64_t>(std::nearbyint(share * 100.0));
}

std::vector<TRowPlan> PlanPackage(std::u16string_view packagePath, std::u16string_view destDir,
                                  std::u16string_view password, const TExtractOptions& options,
                                  bool keepRefused) {
  InFile package(packagePath);
  return PlanPackage(package, destDir, password, options, keepRefused);
}

std::vector<TRowPlan> PlanPackage(InFile& package, std::u16string_view destDir,
                                  std::u16string_view password, const TExtractOptions& options,
                                  bool keepRefused) {
  return MakePlan(package, destDir, password, options, keepRefused)->rows;
}

namespace {

// The destination and the folders on the way to it, held, and made where
// they are missing once they have passed the options' test.
std::unique_ptr<FolderTree> OpenDestination(std::u16string_view destDir,
                                            const TExtractOptions& options) {
  auto dest = std::make_unique<FolderTree>(destDir, FolderTree::RootLink::kRefuse, false);
  if (options.refuseFoldersOthersMayChange) {
    const std::u16string open = dest->FindOthersMayChange();
    if (!open.empty()) {
      throw FileError(u"other users may change the folder " + open +
                      u": they could change what is installed below it");
    }
  }
  dest->Make();
  return dest;
}

}  // namespace

namespace {
void Extract(InFile& package, std::u16string_view packagePath, FolderTree& dest,
             std::u16string_view password, const TProgressEvent& progress,
             const TExtractOptions& options);
}  // namespace

void ExtractPackage(std::u16string_view packagePath, std::u16string_view destDir,
                    std::u16string_view password, const TProgressEvent& progress,
                    const TExtractOptions& options) {
  const std::unique_ptr<FolderTree> dest = OpenDestination(destDir, options);
  InFile package(packagePath);
  Extract(package, packagePath, *dest, password, progress, options);
}

void ExtractPackage(InFile& package, std::u16string_view destDir, std::u16string_view password,
                    const TProgressEvent& progress, const TExtractOptions& options) {
  const std::unique_ptr<FolderTree> dest = OpenDestination(destDir, options);
  ExtractPackage(package, *dest, password, progress, options);
}

void ExtractPackage(InFile& package, FolderTree& dest, std::u16string_view password,
                    const TProgressEvent& progress, const TExtractOptions& options) {
  Extract(package, u"", dest, password, progress, options);
}

namespace {

// packagePath, when not empty, names the package, which the threads then
// read each on its own.
void Extract(InFile& package, std::u16string_view packagePath, FolderTree& dest,
             std::u16string_view password, const TProgressEvent& progress,
             const TExtractOptions& options) {
  // What a run that was stopped half-way left is undone before anything else.
  RecoverInterruptedRun(dest);
  const std::unique_ptr<Plan> plan = MakePlan(package, dest.Root().Path(), password, options);
  if (plan->rows.empty())
    return;

  // The system directory is the system's: followed, opened at its first row.
  // It outlives the run, which deletes what it placed there on failure.
  std::unique_ptr<FolderTree> system;
  // Every file is written beside its target first; the targets change only
  // once all are written, all together (package/Transaction.h).
  TTransaction run(dest, options.durable, options.checkpoint);
  std::vector<size_t> target(plan->rows.size());
  for (size_t i = 0; i < plan->rows.size(); ++i) {
    const TRowPlan& r = plan->rows[i];
    if (!r.system)
      target[i] = run.Add(r.place.folder, r.place.file);
  }
  run.Begin();

  // The bodies are inflated and written on the threads (package/BodyWork.h);
  // the folders, the files opened and closed and the progress are here, row
  // by row in order.
  // For each target, the last row given to be written to it.
  std::vector<size_t> lastRow(plan->rows.size(), SIZE_MAX);
  int64_t done = 0;
  TBodyWork work(
      package, packagePath, options.threads, options.inflateBound, TBodyEnd::Extract,
      [&](size_t row, const std::function<void()>& step) { Labelled(row, plan->rows[row], step); },
      [&](size_t row, bool inflated) {
        done += plan->rows[row].unpackedSize;
        if (!inflated)
          return;
        run.Written();
        if (progress)
          progress(ProgressPercent(done, plan->total));
      });
  int64_t at = 0;
  for (size_t i = 0; i < plan->rows.size(); ++i) {
    const TRowPlan& r = plan->rows[i];
    const TBodyAt body{at, r.storedSize, r.unpackedSize};
    at += r.storedSize;
    while (work.Full())
      work.TakeOldest();
    // A target written again waits for its earlier file.
    if (!r.system) {
      while (lastRow[target[i]] != SIZE_MAX && lastRow[target[i]] >= work.TakenRows())
        work.TakeOldest();
      lastRow[target[i]] = i;
    }
    OutFile* out = Labelled(i, r, [&]() -> OutFile* {
      if (r.system && !system)
        system = std::make_unique<FolderTree>(r.baseDir, FolderTree::RootLink::kFollow);
      // A system file already there is left alone, whatever it is; looked
      // at through the held system directory.
      if (r.system && (StandsIn(*system, r.existsPath.substr(r.baseDir.size())) ||
                       StandsIn(*system, r.targetPath.substr(r.baseDir.size())))) {
        return nullptr;
      }
      // Every folder is entered once, relative to the one above, and held:
      // nothing is written through a link in the tree, nor through one put
      // in place of a folder later.
      return r.system ? &run.OpenBeside(*system, r.place.folder, r.place.file)
                      : &run.Open(target[i]);
    });
    if (out == nullptr) {
      work.Give(i, body, nullptr);
      continue;
    }
    work.Give(i, body,
              std::make_shared<const TBodyOut>(TBodyOut{
                  [out](int64_t unpacked) { out->Reserve(unpacked); },
                  [out](const uint8_t* data, size_t size) { out->Write(data, size); }}));
  }
  work.Finish();
  run.Commit();
}

}  // namespace
