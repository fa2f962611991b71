#include "win/Flusher.h"

#include <algorithm>
#include <deque>
#include <memory>

namespace win {

struct QueuedFlush {
  HANDLE file;
  HANDLE done;                  // a manual-reset event, set once flushed and not queued again
  DWORD error = ERROR_SUCCESS;  // the first failure; written before done is set
  // Under the flusher's lock: waiting in the queue; being flushed (both, when
  // handed over again meanwhile).
  bool queued = true;
  bool running = false;
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

  void Requeue(QueuedFlush& flush) {
    {
      Locked locked(lock_);
      if (flush.queued)
        return;
      flush.queued = true;
      ResetEvent(flush.done);
      queue_.push_back(&flush);
    }
    SetEvent(work_);
  }

  // Takes flush out of the queue; true when the thread is not flushing it
  // either, so that it may go at once.
  bool Withdraw(QueuedFlush* flush) {
    Locked locked(lock_);
    if (flush->queued) {
      queue_.erase(std::find(queue_.begin(), queue_.end(), flush));
      flush->queued = false;
    }
    return !flush->running;
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
          next->running = true;
        }
      }
      if (next == nullptr) {
        WaitForSingleObject(work_, INFINITE);
        continue;
      }
      const DWORD error = FlushFileBuffers(next->file) ? ERROR_SUCCESS : GetLastError();
      Locked locked(lock_);
      if (next->error == ERROR_SUCCESS)
        next->error = error;
      next->running = false;
      // The last touch: its owner may free it as soon as this is set.
      if (!next->queued)
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

void Requeue(QueuedFlush& flush) {
  TheFlusher().Requeue(flush);
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
