// Messages the lower layers have for the user (a still that timed out, a display that cannot
// start). The libraries own no windows: the program installs the handler that shows them, and
// tests install one that records them, so no test ever waits on a real message box.
#pragma once

#include <functional>
#include <string>

namespace orvane::platform {

enum class NoticeIcon { kNone, kInformation, kWarning, kError };

struct UserNotice {
  std::string text;
  std::string caption;
  NoticeIcon icon = NoticeIcon::kNone;
};

// Replaces the handler; an empty function removes it. Any thread may call these, but the
// handler runs on the caller's thread, so the notices come only from the GUI thread.
void SetUserNoticeHandler(std::function<void(const UserNotice&)> handler);
// Without a handler the notice goes to the diagnostics output.
void ShowUserNotice(const UserNotice& notice);

}  // namespace orvane::platform
