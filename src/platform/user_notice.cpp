#include "platform/user_notice.h"

#include <mutex>

#include "platform/diagnostics.h"

namespace orvane::platform {
namespace {

std::mutex& HandlerLock() {
  static std::mutex lock;
  return lock;
}

std::function<void(const UserNotice&)>& Handler() {
  static std::function<void(const UserNotice&)> handler;
  return handler;
}

}  // namespace

void SetUserNoticeHandler(std::function<void(const UserNotice&)> handler) {
  std::lock_guard guard(HandlerLock());
  Handler() = std::move(handler);
}

void ShowUserNotice(const UserNotice& notice) {
  std::function<void(const UserNotice&)> handler;
  {
    // Called outside the lock: a message box runs a loop that may show another notice.
    std::lock_guard guard(HandlerLock());
    handler = Handler();
  }
  if (handler) handler(notice);
  else DebugOutput("notice: " + notice.text);
}

}  // namespace orvane::platform
