// Files written through to the disk on a thread of their own, while the
// caller goes on writing the next ones.
//
// FlushFileBuffers waits for every byte of a file; the system starts no
// write-back of its own before it is asked (Wine maps it to fsync), so a run
// that flushes its files one after the other at its end waits for all of
// them there. Handed over as each file is finished, they go to the disk
// while the next is inflated and written.
//
// One thread per process, started with the first flush handed over, flushes
// the files in the order given (XP has CRITICAL_SECTION and events; the
// MinGW compilers here have no std::thread). A flush handed over is owned
// by its caller: it waits for it (Await) or withdraws it (Release) before
// the file's handle is closed, so the thread never touches a closed or
// reused handle.
#pragma once

#include <windows.h>

namespace win {

// A flush handed to the thread.
struct QueuedFlush;

// Hands file's flush to the thread; nullptr when no thread or event can be
// made (the caller then flushes the file itself). file stays open until the
// flush is awaited or released.
QueuedFlush* QueueFlush(HANDLE file);
// Waits until the flush is done; its result: ERROR_SUCCESS, or the system's
// error code. The same answer again on each call.
DWORD Await(QueuedFlush& flush);
// Withdraws the flush if the thread has not begun it, else waits for it;
// then frees it.
void Release(QueuedFlush* flush);

}  // namespace win
