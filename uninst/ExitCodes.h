// Exit codes of Uninst.exe.
#pragma once

enum UninstallExit : int {
  kRemoved = 0,                // everything of the product is gone
  kFileInUse = 1,              // a file could not be deleted; the key stays
  kNotInstalled = 2,           // no uninstall key names this program
  kCancelled = 3,              // the user answered No
  kKeyKept = 4,                // the files went, the key could not be deleted
  kNoList = 5,                 // the program carries no usable list of installed files
  kUsage = 6,                  // an unknown argument
  kNeedsAdministrator = 7,     // no right to delete the uninstall key; nothing changed
  kFolderOthersMayChange = 8,  // others may change the installation's folder or one on the
                               // way to it; nothing changed
};
