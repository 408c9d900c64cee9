// A thread that owns message targets and runs the layer's loop, for the message tests.
#pragma once

#include <functional>
#include <future>
#include <memory>
#include <thread>
#include <utility>
#include <vector>

#include "platform/messages.h"

namespace orvane::platform::test {

class LoopThread {
 public:
  // Creates one target per handler on the new thread, then runs its loop until stopped.
  explicit LoopThread(std::vector<MessageHandler> handlers) {
    std::promise<std::vector<TargetHandle>> made;
    auto targets = made.get_future();
    thread_ = std::jthread([&made, handlers = std::move(handlers), this](std::stop_token stop) {
      std::vector<TargetHandle> created;
      for (const auto& handler : handlers) created.push_back(CreateTarget(handler));
      threadId_ = std::this_thread::get_id();
      made.set_value(std::move(created));
      exitCode_ = RunMessageLoop(stop);
    });
    targets_ = targets.get();
  }
  explicit LoopThread(MessageHandler handler)
      : LoopThread(std::vector<MessageHandler>{std::move(handler)}) {}

  ~LoopThread() { Stop(); }

  TargetHandle Target(std::size_t index = 0) const { return targets_.at(index); }
  std::thread::id Id() const { return threadId_; }

  // Asks the loop to end after the message it is handling.
  void RequestStop() { thread_.request_stop(); }

  // Ends the loop and joins the thread; the loop's return value.
  int Stop() {
    if (thread_.joinable()) {
      thread_.request_stop();
      thread_.join();
    }
    return exitCode_;
  }
  // Joins a thread whose loop ends by itself.
  int Join() {
    if (thread_.joinable()) thread_.join();
    return exitCode_;
  }

 private:
  std::vector<TargetHandle> targets_;
  std::thread::id threadId_;
  int exitCode_ = -1;
  std::jthread thread_;  // last: joined before the fields it writes go
};

}  // namespace orvane::platform::test
