#include "win/Flusher.h"

#include <algorithm>
#include <deque>
#include <memory>

namespace win {

struct QueuedFlush {
  HANDLE file;
  HANDLE done;                  // a manual-reset event, set by the thread once flushed
  DWORD error = ERROR_SUCCESS;  // written before done is set
  bool queued = true;           // not yet begun; under the flusher's lock
};

namespace {

class Locked {
 public:
  explicit Locked(CRITICAL_SECTION& section) : section_(section) {
    EnterCriticalSection(&section_);
  }
  ~Locked() { LeaveCriticalSection(&section_); }
  Locked(const Locked&) = delete;
  Locked& operator=(const Locked&) = delete;

 private:
  CRITICAL_SECTION& section_;
};

class Flusher {
 public:
  Flusher() { InitializeCriticalSection(&lock_); }

  bool Queue(QueuedFlush* flush) {
    {
      Locked locked(lock_);
      if (thread_ == nullptr && !Start())
        return false;
      queue_.push_back(flush);
    }
    SetEvent(work_);
    return true;
  }

  // True when flush was still waiting and is taken out of the queue.
  bool Withdraw(QueuedFlush* flush) {
    Locked locked(lock_);
    if (!flush->queued)
      return false;
    queue_.erase(std::find(queue_.begin(), queue_.end(), flush));
    return true;
  }

 private:
  // Under the lock.
  bool Start() {
    if (work_ == nullptr)
      work_ = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    if (work_ != nullptr)
      thread_ = CreateThread(nullptr, 64 * 1024, &Flusher::Run, this,
                             STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr);
    return thread_ != nullptr;
  }

  static DWORD WINAPI Run(void* self) {
    static_cast<Flusher*>(self)->Work();
    return 0;
  }

  void Work() {
    for (;;) {
      QueuedFlush* next = nullptr;
      {
        Locked locked(lock_);
        if (!queue_.empty()) {
          next = queue_.front();
          queue_.pop_front();
          next->queued = false;
        }
      }
      if (next == nullptr) {
        WaitForSingleObject(work_, INFINITE);
        continue;
      }
      next->error = FlushFileBuffers(next->file) ? ERROR_SUCCESS : GetLastError();
      // The last touch: its owner may free it as soon as this is set.
      SetEvent(next->done);
    }
  }

  CRITICAL_SECTION lock_;
  HANDLE work_ = nullptr;  // an auto-reset event: something was queued
  HANDLE thread_ = nullptr;
  std::deque<QueuedFlush*> queue_;
};

Flusher& TheFlusher() {
  // Never destroyed: its thread may still be waiting when the process ends.
  static Flusher* const flusher = new Flusher;
  return *flusher;
}

}  // namespace

QueuedFlush* QueueFlush(HANDLE file) {
  const HANDLE done = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  if (done == nullptr)
    return nullptr;
  auto flush = std::make_unique<QueuedFlush>(QueuedFlush{file, done});
  bool queued = false;
  try {
    queued = TheFlusher().Queue(flush.get());
  } catch (...) {
    CloseHandle(done);
    throw;
  }
  if (!queued) {
    CloseHandle(done);
    return nullptr;
  }
  return flush.release();
}

DWORD Await(QueuedFlush& flush) {
  WaitForSingleObject(flush.done, INFINITE);
  return flush.error;
}

void Release(QueuedFlush* flush) {
  if (flush == nullptr)
    return;
  if (!TheFlusher().Withdraw(flush))
    WaitForSingleObject(flush->done, INFINITE);
  CloseHandle(flush->done);
  delete flush;
}

}  // namespace win
