// Jobs run on worker threads and taken back in the order they were given,
// for work on a package's rows: whatever the number of threads, the results
// are used in the same order, so the output is the same byte for byte.
//
// The caller bounds what is in flight: it gives a job only while Full() is
// false, and takes the oldest back before giving more. With one thread, and
// where the build has no threads (the Windows builds: MinGW's win32 thread
// model has no std::thread), every job runs on the calling thread when it is
// taken back, and at most one is in flight.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>

// The number of processors, at least 1; 1 where the build has no threads.
int ProcessorCount();

class TOrderedWork {
 public:
  // A job; worker is the number of the thread it runs on, 0 to Workers() - 1,
  // so that each thread may keep state of its own (a file, a compressor).
  using Job = std::function<void(int worker)>;

  // At most `window` jobs in flight (given and not taken back), on
  // `threads` threads; both at least 1.
  TOrderedWork(int threads, size_t window);
  // Waits for the jobs that are running; those not started never run.
  ~TOrderedWork();
  TOrderedWork(const TOrderedWork&) = delete;
  TOrderedWork& operator=(const TOrderedWork&) = delete;

  int Workers() const;
  bool Full() const;
  bool Empty() const;
  void Give(Job job);
  // A job with a tail: the tails run in the order given, one at a time,
  // each once its job and every earlier tail have ended (on whichever
  // worker ends the last of those), so that jobs may finish in order
  // without the calling thread (a file written piece after piece). A job
  // given without a tail has an empty one. What a tail raises is raised by
  // TakeOldest like what its job raises; a tail does not run when its job
  // raised.
  void Give(Job job, std::function<void()> tail);
  // Waits for the oldest job in flight (and its tail) to end; raises what it
  // raised.
  void TakeOldest();

 private:
  struct State;
  std::unique_ptr<State> state_;
};
