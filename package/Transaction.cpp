#include "package/Transaction.h"

#include <algorithm>

#include "common/Bytes.h"
#include "common/Errors.h"
#include "common/Path.h"
#include "common/Text.h"
#include "fs/Errors.h"

TTransaction::TTransaction(FolderTree& dest, bool durable, Checkpoint checkpoint)
    : dest_(dest), durable_(durable), checkpoint_(std::move(checkpoint)) {}

TTransaction::~TTransaction() {
  if (!done_)
    Rollback();
}

size_t TTransaction::Add(const std::u16string& folder, const std::u16string& name) {
  const std::u16string path = folder + name;
  for (size_t i = 0; i < targets_.size(); ++i) {
    if (SamePath(targets_[i].folder + targets_[i].name, path))
      return i;
  }
  Target t;
  t.folder = folder;
  t.name = name;
  targets_.push_back(std::move(t));
  return targets_.size() - 1;
}

void TTransaction::Begin() {
  journal_.run = RandomName(8, kHexDigits);
  for (Target& t : targets_) {
    // Every level as it stands: a link or a file in the way fails the run
    // now; a missing one will be made.
    HeldFolder* at = &dest_.Root();
    bool missing = false;
    std::u16string prefix;
    for (const std::u16string& level : PathLevels(t.folder)) {
      prefix += level + u'\\';
      const HeldFolder::Entry entry = missing ? HeldFolder::Entry{} : at->Look(level);
      if (entry.link)
        throw LinkError(dest_.Root().Path() + prefix.substr(0, prefix.size() - 1));
      if (entry.exists && !entry.folder)
        throw FileError(dest_.Root().Path() + prefix.substr(0, prefix.size() - 1) +
                        u" is a file where a folder goes");
      if (!entry.exists) {
        missing = true;
        if (std::find(journal_.madeFolders.begin(), journal_.madeFolders.end(), prefix) ==
            journal_.madeFolders.end()) {
          journal_.madeFolders.push_back(prefix);
        }
        continue;
      }
      at = &dest_.Enter(prefix, false);
    }
    bool replaces = false;
    if (!missing) {
      t.held = at;
      const HeldFolder::Entry there = at->Look(t.name);
      const std::u16string shown = at->Path() + t.name;
      if (there.link)
        throw LinkError(shown);
      if (there.folder)
        throw FileError(u"cannot replace " + shown + u": it is a folder");
      if (there.readOnly)
        throw FileError(u"cannot replace " + shown + u": it is read-only");
      if (there.exists) {
        // Held from now on: nobody can start it, hold it or swap it before
        // it is replaced.
        t.original = std::make_unique<HeldEntry>(*at, t.name, HeldEntry::Hold::kReplace);
        replaces = true;
      }
    }
    journal_.files.push_back({t.folder, t.name, replaces});
  }
  begun_ = true;
  WriteJournal(dest_, journal_, durable_);
  journalHold_ = std::make_unique<HeldEntry>(dest_.Root(), kJournalName, HeldEntry::Hold::kLock);
}

OutFile& TTransaction::Open(size_t index) {
  Target& t = targets_.at(index);
  if (t.held == nullptr)
    t.held = &dest_.Enter(t.folder, true);
  // A file written again for the same target.
  unflushed_.erase(std::remove(unflushed_.begin(), unflushed_.end(), t.file.get()),
                   unflushed_.end());
  t.file.reset();
  t.file = std::make_unique<NewFile>(*t.held, t.name, PartName(t.name, journal_.run));
  open_.push_back(t.file.get());
  return open_.back()->Out();
}

OutFile& TTransaction::OpenBeside(FolderTree& tree, const std::u16string& folder,
                                  const std::u16string& name) {
  HeldFolder& held = tree.Enter(folder, true);
  beside_.push_back({&tree, std::make_unique<NewFile>(held, name)});
  open_.push_back(beside_.back().file.get());
  return open_.back()->Out();
}

void TTransaction::Written() {
  NewFile* written = open_.front();
  open_.pop_front();
  if (durable_) {
    written->FinishUnflushed();
    unflushed_.push_back(written);
    if (unflushed_.size() >= kFlushBatch)
      FlushWritten();
  } else {
    written->Finish(false);
  }
  Reached(Step::kWritten, openIndex_++);
}

void TTransaction::Reached(Step step, size_t index) {
  if (checkpoint_)
    checkpoint_(step, index);
}

void TTransaction::FlushWritten() {
  for (NewFile* file : unflushed_)
    file->Flush();
  unflushed_.clear();
}

void TTransaction::Commit() {
  try {
    Reached(Step::kAllWritten, 0);
    FlushWritten();
    Reached(Step::kFlushed, 0);
    // A file of another tree that appeared meanwhile is kept.
    for (Beside& b : beside_)
      b.file->Place(false);
    for (size_t i = 0; i < targets_.size(); ++i) {
      Target& t = targets_[i];
      if (!t.file)
        continue;
      if (t.original) {
        t.original->Rename(OldName(t.name, journal_.run), false);
        t.moved = true;
      }
      if (!t.file->Place(false))
        throw FileError(u"cannot create " + t.held->Path() + t.name +
                        u": something appeared there");
      Reached(Step::kPlaced, i);
    }
    if (durable_)
      dest_.Sync();
    journal_.committed = true;
    journalHold_.reset();
    WriteJournal(dest_, journal_, durable_);
    journalHold_ = std::make_unique<HeldEntry>(dest_.Root(), kJournalName, HeldEntry::Hold::kLock);
  } catch (...) {
    Rollback();
    throw;
  }
  done_ = true;
  Reached(Step::kCommitted, 0);
  // What the files replaced goes now; whatever cannot go, the journal names
  // for the next run.
  bool cleared = true;
  for (Target& t : targets_) {
    if (t.moved)
      cleared = t.original->Delete() && cleared;
    t.original.reset();
  }
  if (cleared)
    journalHold_->Delete();
  journalHold_.reset();
  if (durable_)
    dest_.Sync();
}

void TTransaction::Rollback() {
  done_ = true;
  bool restored = true;
  for (auto it = targets_.rbegin(); it != targets_.rend(); ++it) {
    if (it->file)
      restored = it->file->Unplace() && restored;
    if (it->moved) {
      try {
        it->original->Rename(it->name, true);
        it->moved = false;
      } catch (const Error&) {
        restored = false;
      }
    }
  }
  for (Beside& b : beside_)
    b.file->Unplace();
  open_.clear();
  unflushed_.clear();
  // The new files go with their temporary names.
  for (Target& t : targets_) {
    t.file.reset();
    t.original.reset();
  }
  std::vector<FolderTree*> trees{&dest_};
  for (Beside& b : beside_) {
    b.file.reset();
    if (std::find(trees.begin(), trees.end(), b.tree) == trees.end())
      trees.push_back(b.tree);
  }
  for (FolderTree* tree : trees) {
    const std::vector<std::u16string> made = tree->Made();
    for (auto it = made.rbegin(); it != made.rend(); ++it)
      tree->RemoveEmpty(*it);
  }
  // Kept when something could not be put back: the next run finishes it.
  if (begun_ && restored) {
    try {
      if (!journalHold_)  // let go while it was being rewritten
        journalHold_ =
            std::make_unique<HeldEntry>(dest_.Root(), kJournalName, HeldEntry::Hold::kLock);
      journalHold_->Delete();
    } catch (const Error&) {
    }
  }
  journalHold_.reset();
}
