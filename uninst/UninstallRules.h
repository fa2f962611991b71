// The uninstaller's rules as plain functions: the language, every text it
// shows, and what a removal touches in the destination folder. The Win32
// program (Uninstaller.h) calls these.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "package/UninstallEntry.h"
#include "package/UninstallList.h"

// The texts of one installation in its language.
struct TUninstallTexts {
  std::u16string caption;   // of every message
  std::u16string question;  // asked once, Yes or No
  std::u16string done;      // after a complete removal
};
TUninstallTexts MakeUninstallTexts(bool chinese, const std::u16string& displayName,
                                   const std::u16string& displayVersion);

// A file that stays because it cannot be deleted (the reason is the system's
// text, may be empty).
std::u16string FileInUseText(bool chinese, const std::u16string& displayName,
                             const std::u16string& path, const std::u16string& reason);
// The files went but the uninstall key could not be deleted.
std::u16string KeyKeptText(bool chinese, const std::u16string& displayName,
                           const std::u16string& reason);
// No uninstall key names this program; and the caption for it.
std::u16string NotInstalledText(bool chinese, const std::u16string& programPath);
std::u16string PlainCaption(bool chinese);
// The program carries no usable list of installed files.
std::u16string NoListText(bool chinese, const std::u16string& detail);
// An argument other than /S.
std::u16string UnknownOptionText(bool chinese, const std::u16string& option);
// The run lacks the administrator rights that removing the product needs.
std::u16string NeedsAdministratorText(bool chinese, const std::u16string& displayName);

// Others may change the installation's folder or one on the way to it: what
// stands there may be theirs, and nothing is undone or removed.
std::u16string FolderOthersMayChangeText(bool chinese, const std::u16string& displayName,
                                         const std::u16string& folder);

// What a removal deletes in the destination folder (destDir ends in "\").
struct TRemovalPlan {
  // The list's files that went into the destination tree, then "Setup.stp";
  // never a system-directory row and never the running program itself.
  std::vector<std::u16string> files;
  // Every folder of those files, the deepest first, each ending in "\"; the
  // destination itself is not among them.
  std::vector<std::u16string> folders;
};
// Each row's file is found by the extractor's rule (package/Names.h). Raises
// Error naming a row that rule refuses: one whose folder or name would leave
// the destination, or that names a device, a stream or a name Windows
// shortens.
TRemovalPlan PlanRemoval(const std::vector<TUninstallRow>& rows, const std::u16string& destDir,
                         const std::u16string& programPath);

// A path of the plan as the removal reaches it: the folder relative to the
// destination ("" or "a\b\") and the name in it (empty for a folder's own
// path, which ends in "\"). Nothing for a path that does not lie in the
// destination, or one with an empty level or a "." or ".." level.
struct TRelativeRow {
  std::u16string folder;
  std::u16string name;
};
std::optional<TRelativeRow> RelativeRow(const std::u16string& path, const std::u16string& destDir);
