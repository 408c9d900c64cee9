// Records the notices the camera code has for the user, in place of the program's message boxes.
#pragma once

#include <mutex>
#include <string>
#include <vector>

#include "platform/user_notice.h"

namespace orvane::testing {

class NoticeProbe {
 public:
  NoticeProbe() {
    platform::SetUserNoticeHandler([this](const platform::UserNotice& notice) {
      std::lock_guard guard(lock_);
      texts_.push_back(notice.text);
    });
  }
  ~NoticeProbe() { platform::SetUserNoticeHandler({}); }
  NoticeProbe(const NoticeProbe&) = delete;
  NoticeProbe& operator=(const NoticeProbe&) = delete;

  std::vector<std::string> Texts() const {
    std::lock_guard guard(lock_);
    return texts_;
  }

 private:
  mutable std::mutex lock_;
  std::vector<std::string> texts_;
};

}  // namespace orvane::testing
