// Events that threads wait on: the stop signals of the worker threads.
#pragma once

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

namespace orvane::platform {

enum class EventReset {
  kAuto,    // a successful wait consumes the signal; one waiter is released per Set
  kManual,  // stays signalled until Reset; every waiter is released
};

class Event {
 public:
  explicit Event(EventReset reset, bool initiallySet = false);
  Event(const Event&) = delete;
  Event& operator=(const Event&) = delete;

  void Set();
  void Reset();

  // True when the event was signalled within `timeout` (zero: just test it).
  bool Wait(std::chrono::milliseconds timeout);
  // Waits without a time limit.
  void Wait();

 private:
  const EventReset reset_;
  std::mutex mutex_;
  std::condition_variable signalled_changed_;
  bool signalled_;
};

// The process's event of this name: made by the first open and shared while any holder keeps
// it. A later open returns the same event as it stands, with the reset kind it was made with.
std::shared_ptr<Event> OpenNamedEvent(std::string_view name, EventReset reset,
                                      bool initiallySet = false);

}  // namespace orvane::platform
