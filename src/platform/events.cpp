#include "platform/events.h"

#include <map>

namespace orvane::platform {

Event::Event(EventReset reset, bool initiallySet) : reset_(reset), signalled_(initiallySet) {}

void Event::Set() {
  {
    std::lock_guard lock(mutex_);
    signalled_ = true;
  }
  if (reset_ == EventReset::kAuto) {
    signalled_changed_.notify_one();
  } else {
    signalled_changed_.notify_all();
  }
}

void Event::Reset() {
  std::lock_guard lock(mutex_);
  signalled_ = false;
}

bool Event::Wait(std::chrono::milliseconds timeout) {
  std::unique_lock lock(mutex_);
  if (!signalled_changed_.wait_for(lock, timeout, [this] { return signalled_; })) return false;
  if (reset_ == EventReset::kAuto) signalled_ = false;
  return true;
}

void Event::Wait() {
  std::unique_lock lock(mutex_);
  signalled_changed_.wait(lock, [this] { return signalled_; });
  if (reset_ == EventReset::kAuto) signalled_ = false;
}

std::shared_ptr<Event> OpenNamedEvent(std::string_view name, EventReset reset,
                                      bool initiallySet) {
  // The names are the process's own; the table forgets an event when its last holder lets go.
  static std::mutex mutex;
  static std::map<std::string, std::weak_ptr<Event>, std::less<>> events;
  std::lock_guard lock(mutex);
  std::erase_if(events, [](const auto& entry) { return entry.second.expired(); });
  const auto found = events.find(name);
  if (found != events.end()) {
    if (auto event = found->second.lock()) return event;
  }
  auto event = std::make_shared<Event>(reset, initiallySet);
  events.insert_or_assign(std::string(name), event);
  return event;
}

}  // namespace orvane::platform
