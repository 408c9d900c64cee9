// Windows of other programs on the D-Bus session bus, found by their captions and sent or posted
// numbered messages, and this program's own windows offered to them the same way.
//
// A window with caption C is the bus name "com.morvath.window." + C, every byte of C outside
// [A-Za-z] written as "_" and two hex digits; it offers object "/", interface
// "com.morvath.Window", method Message(u message, t wParam, x lParam) -> x result.
#pragma once

#include <chrono>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/messages.h"

namespace orvane::platform {

inline constexpr const char* kWindowBusPrefix = "com.morvath.window.";
inline constexpr const char* kWindowInterface = "com.morvath.Window";
inline constexpr const char* kWindowMethod = "Message";

// How long a send waits for its answer: a hung program never holds the caller longer.
inline constexpr std::chrono::milliseconds kBusSendTimeout{2000};

// The bus name of the window with this caption; empty when no window can have it (an empty
// caption, or one too long for a bus name).
std::string WindowBusName(std::string_view caption);

// $DBUS_SESSION_BUS_ADDRESS, else the user's bus socket in $XDG_RUNTIME_DIR when there is one;
// empty without a session bus.
std::string SessionBusAddress();

// The other programs' windows on one bus. Thread-safe: calls from several threads take turns.
class WindowBus {
 public:
  // Without a bus at `address` (or with an empty one) every window is absent.
  explicit WindowBus(const std::string& address);
  ~WindowBus();
  WindowBus(const WindowBus&) = delete;
  WindowBus& operator=(const WindowBus&) = delete;

  bool Connected() const;
  bool FindWindow(std::string_view caption);
  // The window's answer; nothing when there is no such window, it does not answer within
  // `timeout`, or it answers with an error.
  std::optional<MessageResult> Send(std::string_view caption, MessageId id, WParam wParam = 0, LParam lParam = 0,
                                    std::chrono::milliseconds timeout = kBusSendTimeout);
  // Sends without waiting for, or wanting, an answer. False when it could not be sent.
  bool Post(std::string_view caption, MessageId id, WParam wParam = 0, LParam lParam = 0);

 private:
  struct Connection;
  std::mutex mutex_;
  std::unique_ptr<Connection> connection_;
};

// A window of this program offered on a bus under its caption, served by a thread of its own.
// A message sent to it that is one of `accepted` is sent on to `target`, whose thread computes
// the answer while this thread waits (an error when that thread does not take it within
// kBusSendTimeout); a posted one is posted on, unless many of its posts are still waiting there.
// Every other message is answered 0 without reaching the target: other programs reach only what
// the window offers them.
class BusWindow {
 public:
  BusWindow(const std::string& address, std::string_view caption, TargetHandle target,
            std::vector<MessageId> accepted);
  // Leaves the bus; its thread is stopped and joined, and a caller still waiting for the target
  // is answered with an error.
  ~BusWindow();
  BusWindow(const BusWindow&) = delete;
  BusWindow& operator=(const BusWindow&) = delete;

  // False when the bus cannot be reached or another program holds the caption.
  bool Registered() const;

 private:
  struct Server;
  std::unique_ptr<Server> server_;
};

}  // namespace orvane::platform
