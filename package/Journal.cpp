#include "package/Journal.h"

#include <algorithm>

#include "common/Bytes.h"
#include "common/Errors.h"
#include "common/Path.h"
#include "common/Text.h"
#include "fs/Errors.h"
#include "fs/File.h"
#include "package/Crc32.h"
#include "package/Errors.h"
#include "package/Names.h"

namespace {

constexpr char kFirstLine[] = "setup journal 1";
// A journal is a few lines a file; one larger than this is not one.
constexpr size_t kMaxJournal = 16 * 1024 * 1024;

std::string CheckLine(std::string_view text) {
  return "end " + ToUtf8(ToHex(Crc32(text), 8)) + "\n";
}

// A folder relative to the destination ("" or "a\b\") or a name, each part
// one the extractor would write: nothing leaves the destination.
void CheckRelative(const std::u16string& folder, bool isFolder) {
  if (!isFolder || !folder.empty()) {
    if (isFolder && folder.back() != u'\\')
      throw PackageReadError(u"the folder \"" + folder + u"\" does not end in \"\\\"");
    size_t start = 0;
    const std::u16string body = isFolder ? folder.substr(0, folder.size() - 1) : folder;
    while (start <= body.size()) {
      size_t end = body.find(u'\\', start);
      if (end == std::u16string::npos || !isFolder)
        end = body.size();
      const std::u16string why = RefusedPartReason(body.substr(start, end - start));
      if (!why.empty())
        throw PackageReadError(why);
      start = end + 1;
    }
  }
}

std::vector<std::string> Fields(std::string_view line) {
  std::vector<std::string> fields;
  size_t start = 0;
  while (true) {
    const size_t tab = line.find('\t', start);
    fields.emplace_back(line.substr(start, tab == std::string_view::npos ? tab : tab - start));
    if (tab == std::string_view::npos)
      return fields;
    start = tab + 1;
  }
}

bool IsRun(const std::u16string& run) {
  return run.size() == 8 && run.find_first_not_of(kHexDigits) == std::u16string::npos;
}

}  // namespace

std::u16string PartName(std::u16string_view name, std::u16string_view run) {
  return std::u16string(name) + u'.' + std::u16string(run) + u".stp-part";
}

std::u16string OldName(std::u16string_view name, std::u16string_view run) {
  return std::u16string(name) + u'.' + std::u16string(run) + u".stp-old";
}

std::string JournalText(const TJournal& journal) {
  std::string text = std::string(kFirstLine) + "\n";
  text += "run\t" + ToUtf8(journal.run) + "\n";
  text += std::string("state\t") + (journal.committed ? "committed" : "open") + "\n";
  for (const std::u16string& folder : journal.madeFolders)
    text += "folder\t" + ToUtf8(folder) + "\n";
  for (const TJournal::File& f : journal.files) {
    text += "file\t" + ToUtf8(f.folder) + "\t" + ToUtf8(f.name) + "\t" + (f.replaces ? "1" : "0") +
            "\n";
  }
  return text + CheckLine(text);
}

TJournal ParseJournal(std::string_view text) {
  const size_t last = text.rfind("end ", text.size() >= 2 ? text.size() - 2 : 0);
  if (text.empty() || text.back() != '\n' || last == std::string_view::npos ||
      (last > 0 && text[last - 1] != '\n') ||
      text.substr(last) != CheckLine(text.substr(0, last))) {
    throw PackageReadError(u"it is damaged (its check value does not match)");
  }
  TJournal journal;
  bool haveRun = false, haveState = false;
  size_t at = 0, lineNo = 0;
  while (at < last) {
    const size_t end = text.find('\n', at);
    const std::string_view line = text.substr(at, end - at);
    at = end + 1;
    if (lineNo++ == 0) {
      if (line != kFirstLine)
        throw PackageReadError(u"it is not a journal of this kind");
      continue;
    }
    const std::vector<std::string> f = Fields(line);
    const std::u16string where = u"line " + IntToText(static_cast<int64_t>(lineNo)) + u": ";
    try {
      if (f[0] == "run" && f.size() == 2 && !haveRun) {
        journal.run = FromUtf8(f[1]);
        haveRun = IsRun(journal.run);
        if (!haveRun)
          throw PackageReadError(u"the run is not 8 hex digits");
      } else if (f[0] == "state" && f.size() == 2 && !haveState &&
                 (f[1] == "open" || f[1] == "committed")) {
        journal.committed = f[1] == "committed";
        haveState = true;
      } else if (f[0] == "folder" && f.size() == 2) {
        journal.madeFolders.push_back(FromUtf8(f[1]));
        if (journal.madeFolders.back().empty())
          throw PackageReadError(u"an empty folder");
        CheckRelative(journal.madeFolders.back(), true);
      } else if (f[0] == "file" && f.size() == 4 && (f[3] == "0" || f[3] == "1")) {
        TJournal::File file{FromUtf8(f[1]), FromUtf8(f[2]), f[3] == "1"};
        CheckRelative(file.folder, true);
        CheckRelative(file.name, false);
        journal.files.push_back(std::move(file));
      } else {
        throw PackageReadError(u"\"" + FromUtf8(std::string(line)) + u"\" is not understood");
      }
    } catch (const PackageReadError& e) {
      throw PackageReadError(where + e.Message());
    }
  }
  if (!haveRun || !haveState)
    throw PackageReadError(u"it names no run or no state");
  return journal;
}

void WriteJournal(FolderTree& dest, const TJournal& journal, bool flush) {
  const std::string text = JournalText(journal);
  NewFile file(dest.Root(), kJournalName);
  file.Out().Write(text.data(), text.size());
  file.Finish(flush);
  file.Place(true);
  if (flush)
    dest.Sync();
}

bool RecoverInterruptedRun(FolderTree& dest) {
  HeldFolder& root = dest.Root();
  if (!root.Look(kJournalName).exists)
    return false;
  const std::u16string shown = root.Path() + kJournalName;
  TJournal journal;
  bool trusted = true;
  try {
    HeldEntry entry(root, kJournalName, HeldEntry::Hold::kShared);
    // Whoever may add a file here could plant one naming other files: only
    // a journal of the administrators' or of this account is obeyed.
    trusted = entry.OwnedByTrusted();
    if (trusted)
      journal = ParseJournal(entry.Read(kMaxJournal));
  } catch (const Error& e) {
    throw FileError(u"the journal " + shown + u" of an interrupted installation cannot be read: " +
                    e.Message());
  }
  if (!trusted) {
    throw FileError(u"the journal " + shown +
                    u" does not belong to the administrators, the system or this account: it is "
                    u"left as it is, and nothing it names is undone");
  }
  std::u16string failed;
  const auto remove = [&](HeldFolder& folder, const std::u16string& name) {
    if (folder.Look(name).exists) {
      try {
        if (!HeldEntry(folder, name, HeldEntry::Hold::kShared).Delete() && failed.empty())
          failed = folder.Path() + name;
      } catch (const Error&) {
        if (failed.empty())
          failed = folder.Path() + name;
      }
    }
  };
  // Each file once, as it was when the run began.
  std::vector<std::u16string> seen;
  for (const TJournal::File& f : journal.files) {
    const std::u16string key = PathKey(f.folder + f.name);
    if (std::find(seen.begin(), seen.end(), key) != seen.end())
      continue;
    seen.push_back(key);
    HeldFolder* folder = dest.Find(f.folder);
    if (folder == nullptr)
      continue;
    remove(*folder, PartName(f.name, journal.run));
    const std::u16string old = OldName(f.name, journal.run);
    if (journal.committed) {
      remove(*folder, old);
    } else if (folder->Look(old).exists) {
      try {
        HeldEntry(*folder, old, HeldEntry::Hold::kShared).Rename(f.name, true);
      } catch (const Error&) {
        if (failed.empty())
          failed = folder->Path() + f.name;
      }
    } else if (!f.replaces) {
      remove(*folder, f.name);
    }
  }
  if (!journal.committed) {
    for (auto it = journal.madeFolders.rbegin(); it != journal.madeFolders.rend(); ++it)
      dest.RemoveEmpty(*it);
  }
  if (!failed.empty()) {
    throw FileError(u"an interrupted installation cannot be undone: " + failed +
                    u" cannot be restored (is it in use?)");
  }
  dest.Sync();
  if (!HeldEntry(root, kJournalName, HeldEntry::Hold::kShared).Delete())
    throw FileError(u"cannot delete " + shown);
  return true;
}
