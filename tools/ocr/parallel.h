// Work spread over a fixed number of threads. Every item writes only its own result, so the
// outcome does not depend on the number of threads or on their timing.
#pragma once

#include <atomic>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace orvane::ocrtools {

// Runs body(0, worker) .. body(count - 1, worker) on up to `threads` threads, worker being the
// running thread's number (0 .. threads - 1) for per-thread resources, and returns when all are
// done; the first exception thrown by an item is rethrown after every thread has been joined.
inline void ParallelForWorkers(int count, int threads, const std::function<void(int, int)>& body) {
  std::atomic<int> next{0};
  std::exception_ptr failure;
  std::mutex failureMutex;
  auto work = [&](int worker) {
    for (int item = next++; item < count; item = next++) {
      try {
        body(item, worker);
      } catch (...) {
        std::lock_guard lock(failureMutex);
        if (!failure) failure = std::current_exception();
        next = count;
      }
    }
  };
  std::vector<std::jthread> workers;
  for (int t = 1; t < threads && t < count; ++t) workers.emplace_back(work, t);
  work(0);
  workers.clear();  // joins
  if (failure) std::rethrow_exception(failure);
}

inline void ParallelFor(int count, int threads, const std::function<void(int)>& body) {
  ParallelForWorkers(count, threads, [&](int item, int) { body(item); });
}

}  // namespace orvane::ocrtools
