// SIGTERM and SIGINT as a call on the GUI thread, so that the station closes in order (settings
// saved, cameras closed) as its close button does.
#pragma once

#include <functional>
#include <memory>

class QSocketNotifier;

namespace orvane::ui {

class TerminationSignals {
 public:
  // Made on the GUI thread; `onSignal` runs there, once per signal.
  explicit TerminationSignals(std::function<void()> onSignal);
  ~TerminationSignals();  // the default handlers are back
  TerminationSignals(const TerminationSignals&) = delete;
  TerminationSignals& operator=(const TerminationSignals&) = delete;

 private:
  int pipe_[2] = {-1, -1};
  std::unique_ptr<QSocketNotifier> notifier_;
  std::function<void()> onSignal_;
};

}  // namespace orvane::ui
