#include "uninst/Uninstaller.h"

#include <string>
#include <vector>

#include "common/Errors.h"
#include "fs/Errors.h"
#include "fs/File.h"
#include "package/Journal.h"
#include "win/Api.h"
#include "win/SystemText.h"
#include "win/WideText.h"

namespace {

std::vector<TUninstallRow> ReadOwnList(const std::u16string& programPath) {
  ReadOnlyFile file(programPath);
  if (!file.IsOpen()) {
    throw FileError(u"cannot open " + programPath + u": " + SystemErrorText(GetLastError()));
  }
  return ReadUninstallList(
      file.Size(),
      [&](int64_t offset, char* buffer, size_t count) {
        if (!file.ReadAt(offset, buffer, count))
          throw FileError(u"cannot read " + programPath);
      },
      programPath);
}

}  // namespace

int Uninstall(const std::u16string& programPath, bool silent, const TUserInterface& ui) {
  auto tell = [&](const std::u16string& caption, const std::u16string& text, bool problem) {
    if (!silent && ui.tell)
      ui.tell(caption, text, problem);
  };
  const bool systemChinese = GetACP() == 936;
  const std::optional<TInstallation> inst = FindInstallation(programPath);
  if (!inst) {
    tell(PlainCaption(systemChinese), NotInstalledText(systemChinese, programPath), true);
    return kNotInstalled;
  }
  const bool zh = inst->chinese;
  const TUninstallTexts texts = MakeUninstallTexts(zh, inst->displayName, inst->displayVersion);
  // Found with read access, which every user has; a run without the rights
  // to remove it changes nothing and says so.
  if (OpenKeyForDeletion(inst->keyPath) == ERROR_ACCESS_DENIED) {
    tell(texts.caption, NeedsAdministratorText(zh, inst->displayName), true);
    return kNeedsAdministrator;
  }
  // An installation stopped half-way is first put back as it was, with no
  // question asked; its own uninstaller then holds the list, not this copy.
  // Before anything is undone or removed, Setup's folder test: where others
  // may change the folder or one on the way to it, what stands there may be
  // theirs (a planted journal, files in place of the product's).
  std::u16string listFrom = programPath;
  // A destination that is not there (held: not opened) has nothing to undo.
  try {
    FolderTree dest(inst->destDir, FolderTree::RootLink::kRefuse, false);
    if (dest.Opened()) {
      const std::u16string open = dest.FindOthersMayChange();
      if (!open.empty()) {
        tell(texts.caption, FolderOthersMayChangeText(zh, inst->displayName, open), true);
        return kFolderOthersMayChange;
      }
      if (RecoverInterruptedRun(dest))
        listFrom = inst->destDir + u"Uninst.exe";
    }
  } catch (const LinkError&) {
    // Not a folder the setup program made: nothing is undone through it
    // (the removal below passes over links too).
  } catch (const Error& e) {
    tell(texts.caption,
         FileInUseText(zh, inst->displayName, inst->destDir + kJournalName, e.Message()), true);
    return kFileInUse;
  }
  TRemovalPlan plan;
  try {
    plan = PlanRemoval(ReadOwnList(listFrom), inst->destDir, programPath);
    // The running program goes last, by its copy, whatever the letter case
    // its listed name has.
    std::erase_if(plan.files, [&](const std::u16string& f) { return SameFile(f, programPath); });
  } catch (const Error& e) {
    tell(texts.caption, NoListText(zh, e.Message()), true);
    return kNoList;
  }
  if (!silent && !(ui.ask && ui.ask(texts.caption, texts.question)))
    return kCancelled;

  // Nothing is touched while any file is held: the user closes the program
  // and runs the uninstaller again.
  std::optional<TBlockedFile> blocked = FindBlockedFile(plan.files, inst->destDir);
  // The shortcuts are read before their targets go.
  const std::vector<std::u16string> shortcuts = OwnShortcuts(inst->keyName, inst->destDir);
  if (!blocked)
    blocked = DeleteFiles(plan.files, inst->destDir);
  if (blocked) {
    tell(texts.caption, FileInUseText(zh, inst->displayName, blocked->path, blocked->reason), true);
    return kFileInUse;
  }
  for (const std::u16string& link : shortcuts)
    DeleteOwnShortcut(link, inst->destDir);
  // Through the system directory: the removal copy runs from the temporary
  // folder, where anything may lie beside it.
  const auto deleteKey = win::Api<win::Fn::SHDeleteKeyW>();
  const LSTATUS s = deleteKey != nullptr ? deleteKey(HKEY_LOCAL_MACHINE, W(inst->keyPath))
                                         : static_cast<LSTATUS>(ERROR_PROC_NOT_FOUND);
  RemoveEmptyFolders(plan.folders, inst->destDir);
  if (s != ERROR_SUCCESS && !FileGone(static_cast<DWORD>(s))) {
    tell(texts.caption, KeyKeptText(zh, inst->displayName, SystemErrorText(static_cast<DWORD>(s))),
         true);
    return kKeyKept;
  }
  tell(texts.caption, texts.done, false);
  return kRemoved;
}
