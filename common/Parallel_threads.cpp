#include <algorithm>
#include <condition_variable>
#include <deque>
#include <exception>
#include <mutex>
#include <thread>
#include <vector>

#include "common/Parallel.h"

namespace {

struct Slot {
  TOrderedWork::Job job;
  std::function<void()> tail;
  bool started = false;
  bool worked = false;  // the job has ended
  bool ended = false;   // and its tail
  std::exception_ptr failure;
};

}  // namespace

struct TOrderedWork::State {
  size_t window = 1;
  std::mutex lock;
  std::condition_variable changed;
  // In the order given; a slot leaves when taken back.
  std::deque<std::shared_ptr<Slot>> slots;
  bool stopping = false;
  bool tailing = false;  // a worker is running tails
  std::vector<std::thread> threads;

  void Work(int worker) {
    std::unique_lock<std::mutex> hold(lock);
    for (;;) {
      std::shared_ptr<Slot> slot;
      changed.wait(hold, [&] {
        if (stopping)
          return true;
        for (const auto& s : slots) {
          if (!s->started) {
            slot = s;
            return true;
          }
        }
        return false;
      });
      if (!slot)
        return;
      slot->started = true;
      hold.unlock();
      try {
        slot->job(worker);
      } catch (...) {
        slot->failure = std::current_exception();
      }
      slot->job = nullptr;  // what it held goes now
      hold.lock();
      slot->worked = true;
      EndTails(hold);
    }
  }

  // Runs, in order, the tails whose jobs have ended and whose turn has
  // come; one worker at a time (tailing), the others go on with jobs.
  void EndTails(std::unique_lock<std::mutex>& hold) {
    if (!tailing) {
      tailing = true;
      for (;;) {
        const auto next = std::find_if(slots.begin(), slots.end(),
                                       [](const std::shared_ptr<Slot>& s) { return !s->ended; });
        if (next == slots.end() || !(*next)->worked)
          break;
        const std::shared_ptr<Slot> slot = *next;
        if (slot->tail && !slot->failure) {
          hold.unlock();
          try {
            slot->tail();
          } catch (...) {
            slot->failure = std::current_exception();
          }
          slot->tail = nullptr;
          hold.lock();
        }
        slot->ended = true;
      }
      tailing = false;
    }
    changed.notify_all();
  }
};

int ProcessorCount() {
  return static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
}

// One thread: every job runs on the calling thread when it is taken back,
// one in flight, as where the build has no threads.
TOrderedWork::TOrderedWork(int threads, size_t window) : state_(std::make_unique<State>()) {
  state_->window = threads > 1 ? std::max<size_t>(window, 1) : 1;
  for (int i = 0; i < threads && threads > 1; ++i)
    state_->threads.emplace_back([this, i] { state_->Work(i); });
}

TOrderedWork::~TOrderedWork() {
  {
    std::lock_guard<std::mutex> hold(state_->lock);
    state_->stopping = true;
  }
  state_->changed.notify_all();
  for (std::thread& t : state_->threads)
    t.join();
}

int TOrderedWork::Workers() const {
  return std::max<int>(static_cast<int>(state_->threads.size()), 1);
}

bool TOrderedWork::Full() const {
  std::lock_guard<std::mutex> hold(state_->lock);
  return state_->slots.size() >= state_->window;
}

bool TOrderedWork::Empty() const {
  std::lock_guard<std::mutex> hold(state_->lock);
  return state_->slots.empty();
}

void TOrderedWork::Give(Job job) {
  Give(std::move(job), {});
}

void TOrderedWork::Give(Job job, std::function<void()> tail) {
  auto slot = std::make_shared<Slot>();
  slot->job = std::move(job);
  slot->tail = std::move(tail);
  {
    std::lock_guard<std::mutex> hold(state_->lock);
    state_->slots.push_back(std::move(slot));
  }
  state_->changed.notify_all();
}

void TOrderedWork::TakeOldest() {
  std::shared_ptr<Slot> slot;
  if (state_->threads.empty()) {
    slot = std::move(state_->slots.front());
    state_->slots.pop_front();
    slot->job(0);
    if (slot->tail)
      slot->tail();
    return;
  }
  {
    std::unique_lock<std::mutex> hold(state_->lock);
    slot = state_->slots.front();
    state_->changed.wait(hold, [&] { return slot->ended; });
    state_->slots.pop_front();
  }
  if (slot->failure)
    std::rethrow_exception(slot->failure);
}
