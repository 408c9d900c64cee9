#include "platform/qt_message_bridge.h"

#include <QMetaObject>
#include <QObject>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <chrono>

#include "platform/messages.h"

namespace orvane::platform {

struct QtMessageBridge::Impl {
  QObject context;  // queued drains die with it
  QTimer timerDue;  // the layer's next timer
  std::atomic<bool> drainScheduled{false};

  void Drain() {
    // Cleared first: whatever arrives from now on schedules another drain.
    drainScheduled = false;
    const auto next = DispatchPendingMessages();
    if (!next) {
      timerDue.stop();
      return;
    }
    const auto wait = std::chrono::ceil<std::chrono::milliseconds>(
        *next - std::chrono::steady_clock::now());
    timerDue.start(std::max<std::chrono::milliseconds>(wait, std::chrono::milliseconds(0)));
  }
};

QtMessageBridge::QtMessageBridge() : impl_(std::make_unique<Impl>()) {
  impl_->timerDue.setSingleShot(true);
  impl_->timerDue.setTimerType(Qt::PreciseTimer);
  Impl* impl = impl_.get();
  QObject::connect(&impl->timerDue, &QTimer::timeout, &impl->context, [impl] { impl->Drain(); });
  // Called from any thread, under the layer's queue lock: only schedule, never dispatch here.
  SetExternalLoopWaker([impl] {
    if (impl->drainScheduled.exchange(true)) return;
    QMetaObject::invokeMethod(&impl->context, [impl] { impl->Drain(); }, Qt::QueuedConnection);
  });
}

QtMessageBridge::~QtMessageBridge() {
  // After this returns no waker call is in flight; queued drains are discarded with `context`.
  SetExternalLoopWaker({});
}

}  // namespace orvane::platform
