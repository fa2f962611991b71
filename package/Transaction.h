// Files put into a held destination all at once: every new file is written
// beside its target first, and only when all are written do the targets
// change, each file it replaces kept until the last has changed. A failure
// at any point, and a run stopped at any point (through the journal of
// package/Journal.h), leaves the destination as it was.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "fs/Errors.h"
#include "fs/File.h"
#include "package/Journal.h"

class TTransaction {
 public:
  // Where a run stands, for the run's log and for tests that stop it there:
  // after the new file of the index-th file is written; once every new file
  // is written (index 0), and once they are all on the disk (durable; else
  // at once), before any target changes; after the index-th file is placed;
  // and once committed.
  enum class Step { kWritten, kAllWritten, kFlushed, kPlaced, kCommitted };
  using Checkpoint = std::function<void(Step step, size_t index)>;

  // durable: every file and the journal are written through to the disk
  // before anything depends on them. The files are written one after the
  // other while the disk catches up, and waited for together at the end of
  // the writing (in batches of kFlushBatch, to bound the open descriptors).
  TTransaction(FolderTree& dest, bool durable, Checkpoint checkpoint = {});
  // Undoes everything not committed.
  ~TTransaction();
  TTransaction(const TTransaction&) = delete;
  TTransaction& operator=(const TTransaction&) = delete;

  // Declares a file of the destination (folder relative to it, "" or
  // "a\b\"); the same target twice (letter case ignored) is one file, and the
  // last one written wins. Returns its number.
  size_t Add(const std::u16string& folder, const std::u16string& name);
  // Before anything is written: raises LinkError for a target or a folder
  // that is a link, FileError for one that is read-only, a folder, or held
  // by a running program (each target is held from here on so that it stays
  // replaceable), then writes the journal.
  void Begin();
  // The new file of a declared target, to be written now; Written closes it.
  // Several may be open at once (written on several threads), closed in the
  // order they were opened; a target is opened again only once its earlier
  // file is closed.
  OutFile& Open(size_t index);
  // A file of another tree (the system directory's, which must outlive the
  // transaction) that goes in only where nothing stands, placed with the
  // rest and deleted again on failure.
  OutFile& OpenBeside(FolderTree& tree, const std::u16string& folder, const std::u16string& name);
  void Written();
  // Waits for every file written to be on the disk (durable), puts every
  // file in place, then drops what they replaced. Raises the failure after
  // undoing everything.
  void Commit();

  static constexpr size_t kFlushBatch = 256;

 private:
  struct Target {
    std::u16string folder, name;
    HeldFolder* held = nullptr;
    std::unique_ptr<HeldEntry> original;
    std::unique_ptr<NewFile> file;
    bool moved = false;
  };
  struct Beside {
    FolderTree* tree;
    std::unique_ptr<NewFile> file;
  };
  void Rollback();
  void Reached(Step step, size_t index);
  void FlushWritten();

  FolderTree& dest_;
  bool durable_;
  Checkpoint checkpoint_;
  TJournal journal_;
  std::vector<Target> targets_;
  std::vector<Beside> beside_;
  // Written, not yet on the disk (durable).
  std::vector<NewFile*> unflushed_;
  // The journal, held while the run lives: another run for the same
  // destination cannot take it for one that was stopped and undo this one.
  std::unique_ptr<HeldEntry> journalHold_;
  std::deque<NewFile*> open_;
  size_t openIndex_ = 0;
  bool begun_ = false;
  bool done_ = false;
};
