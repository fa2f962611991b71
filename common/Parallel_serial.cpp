#include <deque>

#include "common/Parallel.h"

struct TOrderedWork::State {
  struct Given {
    Job job;
    std::function<void()> tail;
  };
  std::deque<Given> jobs;
};

int ProcessorCount() {
  return 1;
}

TOrderedWork::TOrderedWork(int, size_t) : state_(std::make_unique<State>()) {}

TOrderedWork::~TOrderedWork() = default;

int TOrderedWork::Workers() const {
  return 1;
}

bool TOrderedWork::Full() const {
  return !state_->jobs.empty();
}

bool TOrderedWork::Empty() const {
  return state_->jobs.empty();
}

void TOrderedWork::Give(Job job) {
  Give(std::move(job), {});
}

void TOrderedWork::Give(Job job, std::function<void()> tail) {
  state_->jobs.push_back({std::move(job), std::move(tail)});
}

void TOrderedWork::TakeOldest() {
  const State::Given given = std::move(state_->jobs.front());
  state_->jobs.pop_front();
  given.job(0);
  if (given.tail)
    given.tail();
}
