// The journal of a run that replaces files in a destination: what it is about
// to change, written through to the disk before anything changes, so that a
// run stopped half-way (killed, the power gone) is undone by the next one.
//
// A run writes every new file under "<name>.<run>.stp-part" beside its
// target first; then it moves each file it replaces to
// "<name>.<run>.stp-old" and the new one to its name; then it marks the
// journal committed, deletes the old files and deletes the journal. Undoing
// an open journal deletes the new files and folders and moves every old file
// back; a committed one only loses its old files.
#pragma once

#include <string>
#include <string_view>
#include <vector>

class FolderTree;

// At the top of the destination.
inline constexpr char16_t kJournalName[] = u"Setup.journal";

struct TJournal {
  // 8 hex digits, new for every run.
  std::u16string run;
  bool committed = false;
  // Folders that did not exist when the run began ("a\", "a\b\"), parents
  // first.
  std::vector<std::u16string> madeFolders;
  struct File {
    std::u16string folder;  // relative to the destination, "" or "a\b\"
    std::u16string name;
    bool replaces = false;  // a file stood there when the run began
  };
  std::vector<File> files;
};

// The names a run's files go by while it runs.
std::u16string PartName(std::u16string_view name, std::u16string_view run);
std::u16string OldName(std::u16string_view name, std::u16string_view run);

// The journal as it is stored (UTF-8 lines ending in a check value), and
// back. Reading raises PackageReadError for a journal that is damaged or
// names anything outside the destination.
std::string JournalText(const TJournal& journal);
TJournal ParseJournal(std::string_view text);

// Stores the journal at the top of dest in one step (written under a name of
// its own, then moved over the old one), written through when flush is set.
void WriteJournal(FolderTree& dest, const TJournal& journal, bool flush);

// Finds the journal a stopped run left in dest, undoes that run (or, when
// it had committed, clears its old files) and deletes the journal. Returns
// whether there was one. Raises FileError naming what it could not restore
// (the journal then stays for the next attempt), or naming the journal when
// it cannot be read or belongs to anyone but the administrators, the system
// or this account (then nothing is touched).
bool RecoverInterruptedRun(FolderTree& dest);
