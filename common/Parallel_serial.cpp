#include <deque>

#include "common/Parallel.h"

struct TOrderedWork::State {
  std::deque<Job> jobs;
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
  state_->jobs.push_back(std::move(job));
}

void TOrderedWork::TakeOldest() {
  Job job = std::move(state_->jobs.front());
  state_->jobs.pop_front();
  job(0);
}
