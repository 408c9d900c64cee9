#include "thread_start_failure.h"

#include <dlfcn.h>
#include <pthread.h>

#include <atomic>
#include <cerrno>
#include <thread>

namespace {

using StartRoutine = void* (*)(void*);
using Create = int (*)(pthread_t*, const pthread_attr_t*, StartRoutine, void*);

std::atomic<StartRoutine> standardRoutine{nullptr};  // the routine every std::thread starts in
std::atomic<bool> learning{false};
std::atomic<int> countdown{0};

Create RealCreate() {
  static const Create real = reinterpret_cast<Create>(dlsym(RTLD_NEXT, "pthread_create"));
  return real;
}

}  // namespace

extern "C" int pthread_create(pthread_t* thread, const pthread_attr_t* attributes, StartRoutine routine,
                              void* argument) {
  if (learning.exchange(false)) standardRoutine = routine;
  if (routine == standardRoutine.load()) {
    int left = countdown.load();
    while (left > 0 && !countdown.compare_exchange_weak(left, left - 1)) {
    }
    if (left == 1) return EAGAIN;
  }
  return RealCreate()(thread, attributes, routine, argument);
}

namespace orvane::testing {

void FailThreadStart(int n) {
  if (standardRoutine.load() == nullptr) {
    learning = true;
    std::thread([] {}).join();
  }
  countdown = n;
}

}  // namespace orvane::testing
