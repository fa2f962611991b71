#include "package/Extractor.h"

#include <cmath>
#include <limits>
#include <memory>
#include <system_error>
#include <vector>

#include "common/Errors.h"
#include "common/Text.h"
#include "datatable/NvDataTable.h"
#include "package/File.h"
#include "package/Inflate.h"
#include "package/NvCrypUtils.h"
#include "package/Package.h"

namespace {

std::u16string RowLabel(int index, const TRow& row) {
  std::u16string label = u"row " + IntToText(index + 1);
  if (row.ItemCount() > 1) {
    label += u" (" + row.Items(0).Text() + row.Items(1).Text() + u")";
  }
  return label;
}

// Runs f; an Error it raises comes back as the same kind with the row named.
template <typename F>
auto ForRow(int index, const TRow& row, F&& f) {
  try {
    return f();
  } catch (const ListIndexError& e) {
    throw ListIndexError(RowLabel(index, row) + u": " + e.Message());
  } catch (const ConvertError& e) {
    throw ConvertError(RowLabel(index, row) + u": " + e.Message());
  } catch (const FileError& e) {
    throw FileError(RowLabel(index, row) + u": " + e.Message());
  } catch (const PackageReadError& e) {
    throw PackageReadError(RowLabel(index, row) + u": " + e.Message());
  } catch (const Error& e) {
    throw Error(RowLabel(index, row) + u": " + e.Message());
  }
}

bool IsSeparator(char16_t c) {
  return c == u'\\' || c == u'/';
}

// Whether a path has a ".." segment.
bool ClimbsOut(std::u16string_view path) {
  size_t start = 0;
  while (start <= path.size()) {
    size_t end = start;
    while (end < path.size() && !IsSeparator(path[end]))
      ++end;
    if (path.substr(start, end - start) == u"..")
      return true;
    start = end + 1;
  }
  return false;
}

std::u16string NamePart(std::u16string_view name) {
  const size_t cut = name.find_last_of(u"\\:");
  return std::u16string(cut == std::u16string_view::npos ? name : name.substr(cut + 1));
}

struct Plan {
  std::vector<TRowPlan> rows;
  int64_t total = 0;
};

// Reads the index and checks every row; nothing is written.
std::unique_ptr<Plan> MakePlan(InFile& package, std::u16string_view destDir,
                               std::u16string_view password, const TExtractOptions& options) {
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
      if (!IsSeparator(systemDir.back()))
        systemDir += u'\\';
      haveSystemDir = true;
    }
    return systemDir;
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
      if (r.storedSize < 0 || r.unpackedSize < 0) {
        throw PackageReadError(u"a size below 0");
      }
      const std::u16string name = NamePart(r.fileName);
      if (name.empty() || name == u"." || name == u".." || ClimbsOut(name)) {
        throw PackageReadError(u"the file name \"" + r.fileName +
                               u"\" names no file in its folder");
      }
      if (row.ItemCount() > 4 && row.Items(4).AsBool()) {
        r.targetDir = std::u16string(destDir);
      } else if (r.folder.empty() || r.folder[0] != u'$') {
        const std::u16string& f = r.folder;
        if (!f.empty() && (IsSeparator(f[0]) || f.find(u':') != std::u16string::npos)) {
          throw PackageReadError(u"the folder \"" + f + u"\" is not relative to the destination");
        }
        if (ClimbsOut(f))
          throw PackageReadError(u"the folder \"" + f + u"\" leaves the destination");
        r.targetDir = std::u16string(destDir) + f;
      } else {
        r.system = true;
        if (ClimbsOut(r.folder)) {
          throw PackageReadError(u"the folder \"" + r.folder + u"\" leaves the system directory");
        }
        const bool named = r.folder.find(u"System") != std::u16string::npos;
        const std::u16string token = named ? u"$System$" : u"$Third$";
        if (ReplaceAll(r.folder, token, u"", true) == r.folder) {
          throw PackageReadError(u"the folder \"" + r.folder + u"\" names no system folder");
        }
        r.targetDir = ReplaceAll(r.folder, token, system(), true);
        if (r.targetDir.compare(0, system().size(), system()) != 0) {
          throw PackageReadError(u"the folder \"" + r.folder +
                                 u"\" does not lie in the system directory");
        }
      }
      r.targetPath = r.targetDir + name;
      r.existsPath = r.targetDir + r.fileName;
      return r;
    });
    storedTotal += p.storedSize;
    plan->total += p.unpackedSize;
    if (storedTotal > index->BodiesSize) {
      throw PackageReadError(RowLabel(i, row) + u": the bodies need more than the " +
                             IntToText(index->BodiesSize) + u" bytes before the index");
    }
    const int64_t limit =
        std::min<int64_t>(options.maxTotalUnpacked, std::numeric_limits<int32_t>::max());
    if (plan->total > limit) {
      throw PackageReadError(RowLabel(i, row) + u": the unpacked sizes add up to more than " +
                             IntToText(limit) + u" bytes");
    }
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
                                  std::u16string_view password, const TExtractOptions& options) {
  InFile package(packagePath);
  return MakePlan(package, destDir, password, options)->rows;
}

void ExtractPackage(std::u16string_view packagePath, std::u16string_view destDir,
                    std::u16string_view password, const TProgressEvent& progress,
                    const TExtractOptions& options) {
  if (!DirectoryExists(destDir))
    ForceDirectories(destDir);
  InFile package(packagePath);
  const std::unique_ptr<Plan> plan = MakePlan(package, destDir, password, options);

  std::vector<TBodySpan> spans;
  for (int64_t at = 0; const TRowPlan& r : plan->rows) {
    spans.push_back({at, r.storedSize, r.unpackedSize});
    at += r.storedSize;
  }
  TBodyQueue bodies(package, std::move(spans), options.inflateBound, options.readAhead);
  int64_t done = 0;
  for (size_t i = 0; i < plan->rows.size(); ++i) {
    const TRowPlan& r = plan->rows[i];
    const std::u16string label =
        u"row " + IntToText(static_cast<int64_t>(i) + 1) + u" (" + r.folder + r.fileName + u")";
    try {
      if (!DirectoryExists(r.targetDir))
        ForceDirectories(r.targetDir);
      if (r.system && FileExists(r.existsPath)) {
        // A system file already there is left alone.
        done += r.unpackedSize;
        continue;
      }
      const std::u16string temp = r.targetPath + u".stp-part";
      try {
        OutFile out(temp);
        bodies.Inflate(i, out);
        out.Close();
        if (IsReadOnlyFile(r.targetPath))
          throw FileError(u"cannot replace " + r.targetPath + u": it is read-only");
        std::u16string why;
        if (!RenameOver(temp, r.targetPath, why))
          throw FileError(u"cannot replace " + r.targetPath + u" (is it in use?): " + why);
      } catch (...) {
        RemoveFile(temp);
        throw;
      }
      done += r.unpackedSize;
    } catch (const FileError& e) {
      throw FileError(label + u": " + e.Message());
    } catch (const PackageReadError& e) {
      throw PackageReadError(label + u": " + e.Message());
    }
    if (progress)
      progress(ProgressPercent(done, plan->total));
  }
}
