// Exit codes of Setup.exe, the same whether the wizard, the silent run or
// the run with only a progress window was chosen: the codes that deployment
// tools read as the installer's outcome.
#pragma once

enum SetupExit : int {
  kSetupInstalled = 0,          // every file written and the product registered
  kSetupCancelled = 1602,       // the user closed the wizard before Install ran
  kSetupFailed = 1603,          // the installation failed or was refused; see the log
  kSetupAlreadyRunning = 1618,  // another run of this product's setup is under way
  kSetupBadCommandLine = 1639,  // an unknown switch or a bad value; nothing installed
  // 3010 (installed, restart needed) is never returned: nothing waits for a
  // restart.
};
