// Drains the layer's messages for the GUI thread from Qt's event loop.
#pragma once

#include <memory>

namespace orvane::platform {

// Made on the thread that runs QCoreApplication's loop, before that thread's targets expect
// messages; while it lives, posts, sends and timers of that thread's targets are handled from
// Qt's loop (exec, a modal dialog's loop, processEvents), and DispatchMessagesUntil on that
// thread runs Qt's loop. Thread-bound: destroy it on the same thread, before the application
// object.
class QtMessageBridge {
 public:
  QtMessageBridge();
  ~QtMessageBridge();
  QtMessageBridge(const QtMessageBridge&) = delete;
  QtMessageBridge& operator=(const QtMessageBridge&) = delete;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace orvane::platform
