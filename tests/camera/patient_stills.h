// Stills and whole frames waited for as long as a machine whose every core is busy may need: the
// tests judge what comes, not how soon. A test of the time-out itself shortens it while it runs.
#pragma once

#include <chrono>

#include "camera/video_source.h"

namespace orvane::testing {

inline constexpr std::chrono::seconds kPatientStillTimeout{90};

class StillTimeoutFor {
 public:
  explicit StillTimeoutFor(std::chrono::milliseconds timeout) : previous_(StillTimeout()) { SetStillTimeout(timeout); }
  ~StillTimeoutFor() { SetStillTimeout(previous_); }
  StillTimeoutFor(const StillTimeoutFor&) = delete;
  StillTimeoutFor& operator=(const StillTimeoutFor&) = delete;

 private:
  std::chrono::milliseconds previous_;
};

}  // namespace orvane::testing
