// What an elevated program does first: DLLs are looked for in the system
// directory only, never in the folder it was started from (a downloads
// folder, or the temporary folder for the uninstaller's copy) or the current
// one, and the system shows no dialog of its own for a missing disk.
#pragma once

void HardenProcess();
