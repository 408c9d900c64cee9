// A window on the test's thread that counts the messages it receives.
#pragma once

#include <chrono>
#include <map>

#include "platform/messages.h"

namespace orvane::testing {

class MessageProbe {
 public:
  MessageProbe()
      : target_(platform::CreateTarget([this](const platform::Message& message) {
          ++counts_[message.id];
          return platform::MessageResult{0};
        })) {}
  ~MessageProbe() { platform::DestroyTarget(target_); }
  MessageProbe(const MessageProbe&) = delete;
  MessageProbe& operator=(const MessageProbe&) = delete;

  platform::TargetHandle Handle() const { return target_; }
  // Handles what has been posted so far, then the count of `id`.
  int Count(platform::MessageId id) {
    platform::DispatchPendingMessages();
    return counts_[id];
  }
  // Waits up to `timeout` for the count of `id` to reach `count`.
  bool WaitFor(platform::MessageId id, int count, std::chrono::milliseconds timeout) {
    return platform::DispatchMessagesUntil([&] { return counts_[id] >= count; }, timeout);
  }

 private:
  std::map<platform::MessageId, int> counts_;
  platform::TargetHandle target_;
};

}  // namespace orvane::testing
