#include "platform/qt_message_bridge.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <QEventLoop>
#include <QObject>
#include <QSocketNotifier>
#include <QTimer>
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <memory>
#include <system_error>

#include "platform/messages.h"

namespace orvane::platform {

// Other threads wake Qt's loop through an eventfd that a socket notifier watches: nothing passes
// through Qt's own queues, so the messages stay wholly under the layer's lock.
struct QtMessageBridge::Impl {
  int wakeFd = -1;
  std::unique_ptr<QSocketNotifier> wakeNotifier;
  QTimer timerDue;  // the layer's next timer
  QObject context;  // the connections end with it

  Impl() : wakeFd(eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {
    if (wakeFd < 0) throw std::system_error(errno, std::generic_category(), "eventfd");
    wakeNotifier = std::make_unique<QSocketNotifier>(wakeFd, QSocketNotifier::Read);
  }
  ~Impl() {
    wakeNotifier.reset();  // stops watching before the descriptor closes
    close(wakeFd);
  }
  Impl(const Impl&) = delete;
  Impl& operator=(const Impl&) = delete;

  void Wake() const {
    const std::uint64_t one = 1;
    // Fails only when the counter is full, and then a wake is pending anyway.
    [[maybe_unused]] const auto written = write(wakeFd, &one, sizeof one);
  }

  void Drain() {
    // Read first: whatever arrives from now on wakes the loop again.
    std::uint64_t count = 0;
    [[maybe_unused]] const auto got = read(wakeFd, &count, sizeof count);
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
  Impl* impl = impl_.get();
  impl->timerDue.setSingleShot(true);
  impl->timerDue.setTimerType(Qt::PreciseTimer);
  QObject::connect(&impl->timerDue, &QTimer::timeout, &impl->context, [impl] { impl->Drain(); });
  QObject::connect(impl->wakeNotifier.get(), &QSocketNotifier::activated, &impl->context,
                   [impl] { impl->Drain(); });
  SetExternalLoop({[impl] { impl->Wake(); },
                   [](std::chrono::milliseconds slice) {
                     QEventLoop loop;
                     QTimer::singleShot(slice, &loop, &QEventLoop::quit);
                     loop.exec();
                   }});
}

QtMessageBridge::~QtMessageBridge() {
  // After this returns no thread is inside Wake, so the descriptor can go.
  SetExternalLoop({});
}

}  // namespace orvane::platform
