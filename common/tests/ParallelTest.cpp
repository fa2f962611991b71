// Work on several threads taken back in order: tails end in the order the
// jobs were given whatever order the jobs end in, and what a job or a tail
// raises comes back where that job is taken.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <stdexcept>
#include <string>
#include <thread>

#include "common/Parallel.h"

TEST(OrderedWork, TailsEndInOrderAndFailuresComeBackWithTheirJob) {
  const struct {
    const char* what;
    int failingJob;   // -1: none
    int failingTail;  // -1: none
    std::string tails;
  } rows[] = {
      {"all sound", -1, -1, "0123456789"},
      {"a job raises: its tail never runs", 3, -1, "012456789"},
      {"a tail raises", -1, 5, "0123456789"},
  };
  for (const auto& r : rows) {
    for (const int threads : {1, 3}) {
      TOrderedWork work(threads, 4);
      std::string tails;  // written by one tail at a time
      std::string failures;
      int taken = 0;
      const auto takeOldest = [&] {
        try {
          work.TakeOldest();
        } catch (const std::runtime_error& e) {
          failures += e.what() + std::to_string(taken);
        }
        ++taken;
      };
      for (int i = 0; i < 10; ++i) {
        while (work.Full())
          takeOldest();
        work.Give(
            [&, i](int) {
              // The earlier jobs take longer: they end out of order.
              std::this_thread::sleep_for(std::chrono::milliseconds(i % 4 == 0 ? 20 : 1));
              if (i == r.failingJob)
                throw std::runtime_error("job");
            },
            [&, i] {
              tails += std::to_string(i);
              if (i == r.failingTail)
                throw std::runtime_error("tail");
            });
      }
      while (!work.Empty())
        takeOldest();
      const std::string failed = r.failingJob >= 0    ? "job" + std::to_string(r.failingJob)
                                 : r.failingTail >= 0 ? "tail" + std::to_string(r.failingTail)
                                                      : "";
      EXPECT_EQ(tails, r.tails) << r.what << ", " << threads << " threads";
      EXPECT_EQ(failures, failed) << r.what << ", " << threads << " threads";
    }
  }
}
