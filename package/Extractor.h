// ExtractPackage: unpacks every file of a setup package.
//
// Index rows: folder, file name (a converted column), stored size, unpacked
// size, and an optional flag that sends the file straight into the
// destination. A folder beginning with "$" that holds "$System$" or
// "$Third$" stands for the system directory; files there are never
// overwritten.
//
// Limits that hold for any package, checked before any file is written:
//  - the index length is below the package size, so the index buffer is
//    never larger than the package;
//  - every stored and unpacked size is 0 or more, the stored sizes together
//    fit in the bytes before the index, and the unpacked sizes together fit a
//    signed 32-bit number;
//  - every row is placed by the rule of package/Names.h: no folder or file
//    name leaves the destination folder (or, for a system row, the system
//    directory once its token is replaced) through "..", a relative folder
//    is not a drive, a root or a UNC path, a system row's folder lies in the
//    system directory (a "$" folder without a token would otherwise name a
//    folder relative to wherever the program happens to run), and device
//    names, names ending in a dot or a blank and alternate data streams are
//    refused;
//  - bodies inflate whole within a fixed bound or as streams through fixed
//    buffers: memory does not grow with the size of a file, and nothing is
//    allocated from a size that was not checked.
// A system row is skipped when its file exists, at the name it would be
// written under or at the system directory followed by its whole name cell.
// All or nothing: every file is written first under a temporary name beside
// its target and checked (its body inflated to exactly its unpacked size);
// every target to be replaced is held before then, so that one in use (a
// running program) fails the run before anything is written. Only then do
// the targets change, each replaced file kept aside until the last has
// changed. A failure at any step (a held file, a full disk, a bad body)
// restores every file replaced and deletes every file and folder the run
// made; a run that is stopped (killed, the power gone) is undone by the next
// call for the same destination through the journal it left
// (package/Journal.h). The files of the system directory go in only where
// none stands, and are not in the journal: a stopped run can leave one there. Nothing is written
// through a link (a junction or a symbolic link) in the destination tree: the destination itself, a
// folder below it or below the system directory that a row enters or creates, or a target that is a
// link fail the row.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "common/CodePage.h"
#include "fs/Errors.h"
#include "fs/File.h"
#include "package/Errors.h"
#include "package/Inflate.h"
#include "package/Names.h"
#include "package/Transaction.h"

using TProgressEvent = std::function<void(int64_t Percent)>;

struct TExtractOptions {
  // Widens the index and narrows the envelope's vector.
  const CodePage* codePage = &Cp1252();
  // The system directory, ending in "\"; asked for only when a row needs it.
  // Without one such a row fails the extraction.
  std::function<std::u16string()> systemDir;
  // A package whose unpacked sizes add up to more is refused before anything
  // is written.
  int64_t maxTotalUnpacked = 0x7FFFFFFF;
  // Where the build has no fast inflater, bodies up to this size are
  // inflated whole, larger ones streamed (package/Inflate.h).
  TInflateBound inflateBound = {};
  // Every file and the journal written through to the disk before the
  // targets change, so that a run cut off by a power failure leaves the
  // earlier files or the new ones, never a truncated file.
  bool durable = false;
  // Threads that inflate bodies (and, extracting, write them), at most two
  // bodies a thread in flight; the files, and the first bad row named, are
  // the same with any number. Where the build has no threads, one.
  int threads = 1;
  // Tests stop a run at a step of its own (package/Transaction.h).
  TTransaction::Checkpoint checkpoint;
  // Before anything is made or written, a destination or a folder on the
  // way to it that others may change (FolderTree::FindOthersMayChange) is
  // refused: FileError naming it. Only where ExtractPackage opens the
  // destination itself.
  bool refuseFoldersOthersMayChange = false;
};

// destDir ends in "\". Raises an Error naming the row on any failure; returns
// without writing anything when the package has no usable index.
void ExtractPackage(std::u16string_view packagePath, std::u16string_view destDir,
                    std::u16string_view password, const TProgressEvent& progress,
                    const TExtractOptions& options = {});
// The same, reading the package through a file that is already open (the
// setup program's own copy, which it holds so that nobody can change it
// between writing and reading).
void ExtractPackage(InFile& package, std::u16string_view destDir, std::u16string_view password,
                    const TProgressEvent& progress, const TExtractOptions& options = {});

// The same into a destination already opened and held.
void ExtractPackage(InFile& package, FolderTree& dest, std::u16string_view password,
                    const TProgressEvent& progress, const TExtractOptions& options = {});

// The share done, 0 to 100, rounded half to even; 100 when total is 0.
int64_t ProgressPercent(int64_t done, int64_t total);

// What ExtractPackage would do with one row, for listing.
struct TRowPlan {
  std::u16string folder;    // cell 0
  std::u16string fileName;  // cell 1 as read (converted column)
  int32_t storedSize = 0;
  int32_t unpackedSize = 0;
  bool system = false;
  std::u16string baseDir;     // the destination, or the system directory for a system row
  TRowPlace place;            // where the file goes below baseDir (package/Names.h)
  std::u16string targetDir;   // folder the file goes to
  std::u16string targetPath;  // the file written
  // For a system row: the system directory, the folder text after it and
  // the whole name cell. When a file exists there or at targetPath the row
  // is skipped.
  std::u16string existsPath;
  // Why the extractor refuses the row (a name Windows cannot write, a size
  // that cannot be); empty for a row it accepts. Only a listing keeps such
  // rows (see PlanPackage).
  std::u16string refused;
};

// Reads and checks the whole index of a package; nothing is written. An empty
// list for a package with no usable index. A refused row raises
// PackageReadError naming it, unless keepRefused: then every row is listed,
// the refused ones with their reason and no place.
std::vector<TRowPlan> PlanPackage(std::u16string_view packagePath, std::u16string_view destDir,
                                  std::u16string_view password, const TExtractOptions& options = {},
                                  bool keepRefused = false);
// The same through a file that is already open (the setup program's held
// copy).
std::vector<TRowPlan> PlanPackage(InFile& package, std::u16string_view destDir,
                                  std::u16string_view password, const TExtractOptions& options = {},
                                  bool keepRefused = false);
