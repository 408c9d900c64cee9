#include "platform/messages.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <utility>
#include <vector>

namespace orvane::platform {
namespace {

using Clock = std::chrono::steady_clock;

// How often a dispatching wait looks at its condition when no message wakes it.
constexpr std::chrono::milliseconds kConditionPoll{5};

struct ThreadQueue;

struct TargetRecord {
  std::uint64_t id = 0;
  std::string caption;
  // Shared so that a call in progress survives the target's destruction.
  std::shared_ptr<const MessageHandler> handler;
  std::weak_ptr<ThreadQueue> owner;
  std::atomic<bool> alive{true};
};

MessageResult Deliver(const TargetRecord& target, const Message& message) {
  return *target.handler ? (*target.handler)(message) : 0;
}

enum class SendState { kQueued, kRunning, kDone, kDropped };

// One cross-thread send. `state` and `result` are guarded by the sender's queue mutex, the one
// the sender waits on.
struct PendingSend {
  std::shared_ptr<TargetRecord> target;
  Message message;
  std::shared_ptr<ThreadQueue> sender;
  SendState state = SendState::kQueued;
  MessageResult result = 0;
};

struct PendingPost {
  std::shared_ptr<TargetRecord> target;
  Message message;
};

struct Timer {
  std::shared_ptr<TargetRecord> target;
  std::uintptr_t timerId = 0;
  Clock::duration period{};
  Clock::time_point due{};
};

// Everything waiting for one thread: sends to its targets, posts to them and their timers.
struct ThreadQueue {
  std::mutex mutex;
  std::condition_variable changed;
  std::deque<std::shared_ptr<PendingSend>> sends;
  std::deque<PendingPost> posts;
  std::vector<Timer> timers;
  std::function<void()> wake;  // set when the thread's loop is external
  std::function<void(std::chrono::milliseconds)> runExternal;  // only used by the thread itself
  bool ended = false;
  bool quitRequested = false;
  int exitCode = 0;

  // With `mutex` held, after something was added.
  void Notify() {
    changed.notify_all();
    if (wake) wake();
  }
};

// Sets a send's outcome and wakes its sender; dropping leaves a send already taken alone.
void FinishSend(PendingSend& send, SendState state, MessageResult result = 0) {
  std::lock_guard lock(send.sender->mutex);
  if (state == SendState::kDropped && send.state != SendState::kQueued) return;
  send.state = state;
  send.result = result;
  send.sender->changed.notify_all();
}

class Registry {
 public:
  TargetHandle Add(MessageHandler handler, std::string caption,
                   const std::shared_ptr<ThreadQueue>& owner) {
    auto record = std::make_shared<TargetRecord>();
    record->caption = std::move(caption);
    record->handler = std::make_shared<const MessageHandler>(std::move(handler));
    record->owner = owner;
    std::lock_guard lock(mutex_);
    record->id = ++lastId_;
    targets_.emplace(record->id, record);
    return TargetHandle(record->id);
  }

  std::shared_ptr<TargetRecord> Find(TargetHandle target) {
    std::lock_guard lock(mutex_);
    const auto found = targets_.find(target.Id());
    return found == targets_.end() ? nullptr : found->second;
  }

  TargetHandle FindByCaption(std::string_view caption) {
    std::lock_guard lock(mutex_);
    for (const auto& [id, record] : targets_) {
      if (record->caption == caption) return TargetHandle(id);
    }
    return {};
  }

  std::shared_ptr<TargetRecord> Remove(TargetHandle target) {
    std::lock_guard lock(mutex_);
    const auto found = targets_.find(target.Id());
    if (found == targets_.end()) return nullptr;
    auto record = std::move(found->second);
    targets_.erase(found);
    record->alive = false;
    return record;
  }

  std::vector<std::shared_ptr<TargetRecord>> RemoveOwnedBy(const ThreadQueue* owner) {
    std::vector<std::shared_ptr<TargetRecord>> removed;
    std::lock_guard lock(mutex_);
    for (auto it = targets_.begin(); it != targets_.end();) {
      const auto ownerQueue = it->second->owner.lock();
      if (ownerQueue.get() == owner || !ownerQueue) {
        it->second->alive = false;
        removed.push_back(std::move(it->second));
        it = targets_.erase(it);
      } else {
        ++it;
      }
    }
    return removed;
  }

 private:
  std::mutex mutex_;
  std::uint64_t lastId_ = 0;
  std::map<std::uint64_t, std::shared_ptr<TargetRecord>> targets_;  // oldest first
};

Registry& GetRegistry() {
  static Registry registry;
  return registry;
}

// What a queue held for a target that is gone, released outside every lock: payload
// destructors and woken senders may run arbitrary code.
struct Leftovers {
  std::vector<std::shared_ptr<PendingSend>> sends;
  std::vector<PendingPost> posts;
  std::vector<Timer> timers;

  ~Leftovers() {
    for (const auto& send : sends) FinishSend(*send, SendState::kDropped);
  }
};

template <typename Container, typename Predicate, typename Out>
void MoveOutIf(Container& from, Predicate predicate, Out& to) {
  auto keep = std::stable_partition(from.begin(), from.end(),
                                    [&](const auto& item) { return !predicate(item); });
  std::move(keep, from.end(), std::back_inserter(to));
  from.erase(keep, from.end());
}

// The calling thread's queue lives as long as the thread; when the thread ends its targets go
// with it, and whoever still waits on them is released.
class QueueHolder {
 public:
  QueueHolder() : queue_(std::make_shared<ThreadQueue>()) {
    GetRegistry();  // constructed first, so it outlives every thread's holder
  }
  ~QueueHolder() {
    Leftovers leftovers;
    {
      std::lock_guard lock(queue_->mutex);
      queue_->ended = true;
      queue_->wake = nullptr;
      queue_->runExternal = nullptr;
      std::move(queue_->sends.begin(), queue_->sends.end(), std::back_inserter(leftovers.sends));
      std::move(queue_->posts.begin(), queue_->posts.end(), std::back_inserter(leftovers.posts));
      leftovers.timers = std::move(queue_->timers);
      queue_->sends.clear();
      queue_->posts.clear();
    }
    GetRegistry().RemoveOwnedBy(queue_.get());
  }
  QueueHolder(const QueueHolder&) = delete;
  QueueHolder& operator=(const QueueHolder&) = delete;

  const std::shared_ptr<ThreadQueue>& Queue() const { return queue_; }

 private:
  std::shared_ptr<ThreadQueue> queue_;
};

const std::shared_ptr<ThreadQueue>& CurrentQueue() {
  thread_local QueueHolder holder;
  return holder.Queue();
}

// Runs a send taken from this thread's queue, unless its sender gave up first.
void HandleSend(PendingSend& send) {
  {
    std::lock_guard lock(send.sender->mutex);
    if (send.state != SendState::kQueued) return;
    send.state = SendState::kRunning;
  }
  if (!send.target->alive) {
    std::lock_guard lock(send.sender->mutex);
    send.state = SendState::kDropped;
    send.sender->changed.notify_all();
    return;
  }
  MessageResult result = 0;
  try {
    result = Deliver(*send.target, send.message);
  } catch (...) {
    std::lock_guard lock(send.sender->mutex);
    send.state = SendState::kDropped;
    send.sender->changed.notify_all();
    throw;
  }
  FinishSend(send, SendState::kDone, result);
}

// Handles the next ready item of `queue` (sends first, then posts, then a due timer), with
// `lock` released during the call. False when nothing was ready.
bool HandleNext(ThreadQueue& queue, std::unique_lock<std::mutex>& lock) {
  if (!queue.sends.empty()) {
    auto send = std::move(queue.sends.front());
    queue.sends.pop_front();
    lock.unlock();
    HandleSend(*send);
    lock.lock();
    return true;
  }
  if (!queue.posts.empty()) {
    PendingPost post = std::move(queue.posts.front());
    queue.posts.pop_front();
    lock.unlock();
    if (post.target->alive) Deliver(*post.target, post.message);
    post = {};  // the payload goes before the lock is taken again
    lock.lock();
    return true;
  }
  const auto now = Clock::now();
  const auto due = std::min_element(queue.timers.begin(), queue.timers.end(),
                                    [](const Timer& a, const Timer& b) { return a.due < b.due; });
  if (due == queue.timers.end() || due->due > now) return false;
  due->due = now + due->period;  // late ticks collapse into one
  auto target = due->target;
  const Message tick{message_ids::kTimer, due->timerId, 0, {}};
  lock.unlock();
  if (target->alive) Deliver(*target, tick);
  lock.lock();
  return true;
}

std::optional<Clock::time_point> NextTimerDue(const ThreadQueue& queue) {
  std::optional<Clock::time_point> next;
  for (const Timer& timer : queue.timers) {
    if (!next || timer.due < *next) next = timer.due;
  }
  return next;
}

// The target and its owner's queue, when both still exist.
std::pair<std::shared_ptr<TargetRecord>, std::shared_ptr<ThreadQueue>> Resolve(
    TargetHandle target) {
  auto record = GetRegistry().Find(target);
  if (!record) return {};
  auto owner = record->owner.lock();
  if (!owner) return {};
  return {std::move(record), std::move(owner)};
}

}  // namespace

TargetHandle CreateTarget(MessageHandler handler, std::string caption) {
  return GetRegistry().Add(std::move(handler), std::move(caption), CurrentQueue());
}

bool DestroyTarget(TargetHandle target) {
  const auto record = GetRegistry().Remove(target);
  if (!record) return false;
  const auto owner = record->owner.lock();
  if (!owner) return true;
  Leftovers leftovers;
  const auto isFor = [&](const auto& item) {
    if constexpr (requires { item->target; }) {
      return item->target == record;
    } else {
      return item.target == record;
    }
  };
  std::lock_guard lock(owner->mutex);
  MoveOutIf(owner->sends, isFor, leftovers.sends);
  MoveOutIf(owner->posts, isFor, leftovers.posts);
  MoveOutIf(owner->timers, isFor, leftovers.timers);
  return true;
}

bool IsTarget(TargetHandle target) { return GetRegistry().Find(target) != nullptr; }

TargetHandle FindTarget(std::string_view caption) {
  // An untitled target is nobody's to find.
  if (caption.empty()) return {};
  return GetRegistry().FindByCaption(caption);
}

bool Post(TargetHandle target, Message message) {
  auto [record, owner] = Resolve(target);
  if (!record) return false;
  std::lock_guard lock(owner->mutex);
  if (owner->ended || !record->alive) return false;
  owner->posts.push_back({std::move(record), std::move(message)});
  owner->Notify();
  return true;
}

bool Post(TargetHandle target, MessageId id, WParam wParam, LParam lParam) {
  return Post(target, Message{id, wParam, lParam, {}});
}

namespace {

std::optional<MessageResult> SendUntil(TargetHandle target, MessageId id, WParam wParam, LParam lParam,
                                       const std::stop_token& stop, std::optional<Clock::time_point> deadline) {
  auto [record, owner] = Resolve(target);
  if (!record) return std::nullopt;
  const auto& self = CurrentQueue();
  if (owner == self) {
    if (!record->alive) return std::nullopt;
    return Deliver(*record, Message{id, wParam, lParam, {}});
  }
  if (stop.stop_requested()) return std::nullopt;

  auto send = std::make_shared<PendingSend>();
  send->target = std::move(record);
  send->message = Message{id, wParam, lParam, {}};
  send->sender = self;
  {
    std::lock_guard lock(owner->mutex);
    if (owner->ended || !send->target->alive) return std::nullopt;
    owner->sends.push_back(send);
    owner->Notify();
  }

  std::stop_callback onStop(stop, [&self] {
    std::lock_guard lock(self->mutex);
    self->changed.notify_all();
  });
  std::unique_lock lock(self->mutex);
  for (;;) {
    if (send->state == SendState::kDone) return send->result;
    if (send->state == SendState::kDropped) return std::nullopt;
    if (send->state == SendState::kQueued && (stop.stop_requested() || (deadline && Clock::now() >= *deadline))) {
      send->state = SendState::kDropped;  // its thread will skip it
      return std::nullopt;
    }
    if (!self->sends.empty()) {
      auto incoming = std::move(self->sends.front());
      self->sends.pop_front();
      lock.unlock();
      HandleSend(*incoming);
      lock.lock();
      continue;
    }
    if (deadline) {
      self->changed.wait_until(lock, *deadline);
    } else {
      self->changed.wait(lock);
    }
  }
}

}  // namespace

std::optional<MessageResult> TrySend(TargetHandle target, MessageId id, WParam wParam, LParam lParam,
                                     std::stop_token stop) {
  return SendUntil(target, id, wParam, lParam, stop, std::nullopt);
}

std::optional<MessageResult> TrySendFor(TargetHandle target, MessageId id, WParam wParam, LParam lParam,
                                        std::chrono::milliseconds timeout, std::stop_token stop) {
  return SendUntil(target, id, wParam, lParam, stop, Clock::now() + timeout);
}

MessageResult Send(TargetHandle target, MessageId id, WParam wParam, LParam lParam,
                   std::stop_token stop) {
  return TrySend(target, id, wParam, lParam, std::move(stop)).value_or(0);
}

bool StartTimer(TargetHandle target, std::uintptr_t timerId, std::chrono::milliseconds period) {
  auto [record, owner] = Resolve(target);
  if (!record) return false;
  const auto tick = std::max<Clock::duration>(period, std::chrono::milliseconds(1));
  std::lock_guard lock(owner->mutex);
  if (owner->ended || !record->alive) return false;
  const auto due = Clock::now() + tick;
  const auto running = std::find_if(owner->timers.begin(), owner->timers.end(), [&](const Timer& t) {
    return t.target == record && t.timerId == timerId;
  });
  if (running != owner->timers.end()) {
    running->period = tick;
    running->due = due;
  } else {
    owner->timers.push_back({std::move(record), timerId, tick, due});
  }
  owner->Notify();
  return true;
}

bool StopTimer(TargetHandle target, std::uintptr_t timerId) {
  auto [record, owner] = Resolve(target);
  if (!record) return false;
  std::vector<Timer> stopped;
  std::lock_guard lock(owner->mutex);
  MoveOutIf(
      owner->timers, [&](const Timer& t) { return t.target == record && t.timerId == timerId; },
      stopped);
  return !stopped.empty();
}

int RunMessageLoop(std::stop_token stop) {
  const auto& self = CurrentQueue();
  std::stop_callback onStop(stop, [&self] {
    std::lock_guard lock(self->mutex);
    self->changed.notify_all();
  });
  std::unique_lock lock(self->mutex);
  for (;;) {
    if (self->quitRequested) {
      self->quitRequested = false;
      return self->exitCode;
    }
    if (stop.stop_requested()) return 0;
    if (HandleNext(*self, lock)) continue;
    if (const auto next = NextTimerDue(*self)) {
      self->changed.wait_until(lock, *next);
    } else {
      self->changed.wait(lock);
    }
  }
}

void QuitMessageLoop(int exitCode) {
  const auto& self = CurrentQueue();
  std::lock_guard lock(self->mutex);
  self->quitRequested = true;
  self->exitCode = exitCode;
}

bool DispatchMessagesUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
  const auto& self = CurrentQueue();
  const auto end = Clock::now() + timeout;
  for (;;) {
    if (done()) return true;
    std::unique_lock lock(self->mutex);
    const auto now = Clock::now();
    if (now >= end) break;
    if (self->runExternal) {
      const auto runExternal = self->runExternal;
      lock.unlock();
      runExternal(std::min(std::chrono::ceil<std::chrono::milliseconds>(end - now), kConditionPoll));
      continue;
    }
    if (HandleNext(*self, lock)) continue;
    auto wakeAt = std::min(end, now + kConditionPoll);
    if (const auto next = NextTimerDue(*self)) wakeAt = std::min(wakeAt, *next);
    self->changed.wait_until(lock, wakeAt);
  }
  return done();
}

void DispatchMessagesFor(std::chrono::milliseconds duration) {
  DispatchMessagesUntil([] { return false; }, duration);
}

void SetExternalLoop(ExternalLoop loop) {
  const auto& self = CurrentQueue();
  std::lock_guard lock(self->mutex);
  self->wake = std::move(loop.wake);
  self->runExternal = std::move(loop.run);
  if (self->wake && (!self->sends.empty() || !self->posts.empty() || !self->timers.empty())) {
    self->wake();
  }
}

std::optional<std::chrono::steady_clock::time_point> DispatchPendingMessages() {
  const auto& self = CurrentQueue();
  std::unique_lock lock(self->mutex);
  // Only what is pending now, so a handler that posts to itself cannot starve the outer loop.
  for (auto budget = self->sends.size() + self->posts.size() + self->timers.size(); budget > 0;
       --budget) {
    if (!HandleNext(*self, lock)) break;
  }
  if ((!self->sends.empty() || !self->posts.empty()) && self->wake) self->wake();
  return NextTimerDue(*self);
}

}  // namespace orvane::platform
