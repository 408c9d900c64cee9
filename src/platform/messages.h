// Messages between threads and windows: targets in a registry, posts, blocking sends, timers and
// the per-thread loop.
//
// A target (a window, in the program's terms) belongs to the thread that created it, and its
// handler runs only on that thread. That thread runs a message loop: the GUI thread through
// Qt's (see qt_message_bridge.h), every other owner through RunMessageLoop. Everything here may
// be called from any thread unless it says otherwise.
#pragma once

#include <any>
#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <stop_token>
#include <string>
#include <string_view>

#include "platform/message_ids.h"

namespace orvane::platform {

using WParam = std::uintptr_t;
using LParam = std::intptr_t;
using MessageResult = std::intptr_t;

// An opaque window handle. Ids are never reused, so a stale handle finds nothing.
class TargetHandle {
 public:
  constexpr TargetHandle() = default;
  constexpr explicit TargetHandle(std::uint64_t id) : id_(id) {}
  constexpr std::uint64_t Id() const { return id_; }
  constexpr explicit operator bool() const { return id_ != 0; }
  friend constexpr bool operator==(TargetHandle, TargetHandle) = default;

 private:
  std::uint64_t id_ = 0;
};

struct Message {
  MessageId id = 0;
  WParam wParam = 0;
  LParam lParam = 0;
  // Data a posted message owns, so the sender need not keep it alive: freed with the message,
  // whether it is handled or dropped. The handler may use it only during the call.
  std::any payload;
};

using MessageHandler = std::function<MessageResult(const Message&)>;

// A new target owned by the calling thread. The caption lets other parts find it by name.
TargetHandle CreateTarget(MessageHandler handler, std::string caption = {});

// Removes the target: its queued posts are dropped, senders still waiting in its queue return
// unhandled at once, and its timers stop. A message already being handled completes. False
// when there is no such target.
bool DestroyTarget(TargetHandle target);

bool IsTarget(TargetHandle target);

// The oldest live target with this caption; an empty handle when there is none.
TargetHandle FindTarget(std::string_view caption);

// Queues the message for the target's thread; messages to one target are handled in the order
// they were posted. False (the message and its payload dropped) when the target does not exist.
bool Post(TargetHandle target, Message message);
bool Post(TargetHandle target, MessageId id, WParam wParam = 0, LParam lParam = 0);

// Has the target handle the message and returns the handler's result.
// - On the target's own thread: a direct, re-entrant call.
// - From another thread: blocks until the target's thread has handled it. While it waits, the
//   calling thread handles messages sent to its own targets (not posts), so two threads that
//   send to each other do not deadlock.
// Not handled (nothing, at once) when the target does not exist, is destroyed before its thread
// takes the message, its thread ends, or `stop` is requested first. Once the handler has
// started, the sender waits for it to finish, since lParam may point into the sender's frame.
std::optional<MessageResult> TrySend(TargetHandle target, MessageId id, WParam wParam = 0,
                                     LParam lParam = 0, std::stop_token stop = {});

// TrySend that also gives up, not handled, when the target's thread has not taken the message
// within `timeout`: for callers that must not wait on a busy thread for ever.
std::optional<MessageResult> TrySendFor(TargetHandle target, MessageId id, WParam wParam, LParam lParam,
                                        std::chrono::milliseconds timeout, std::stop_token stop = {});

// TrySend with 0 when the message was not handled.
MessageResult Send(TargetHandle target, MessageId id, WParam wParam = 0, LParam lParam = 0,
                   std::stop_token stop = {});

// Delivers message_ids::kTimer (wParam = timerId) to the target on its thread every `period`.
// A due timer is delivered once however late its thread is; starting a running timer again
// restarts it with the new period. False when the target does not exist.
bool StartTimer(TargetHandle target, std::uintptr_t timerId, std::chrono::milliseconds period);
bool StopTimer(TargetHandle target, std::uintptr_t timerId);

// The calling thread's own loop: handles sends, posts and timers of its targets until
// QuitMessageLoop is called on this thread or `stop` is requested. Returns the exit code (0 when
// stopped). Messages still queued stay queued; they are dropped when the thread ends.
int RunMessageLoop(std::stop_token stop = {});

// Ends the calling thread's running RunMessageLoop after the current message.
void QuitMessageLoop(int exitCode = 0);

// Handles the calling thread's sends, posts and timers until `done` returns true (checked after
// each message and at least every few milliseconds) or `timeout` has passed. True when done.
// This is the wait that keeps a thread answering while it waits for something else; on a
// thread whose loop is Qt's it runs Qt's loop, so the windows keep answering too.
bool DispatchMessagesUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout);

// Handles the calling thread's messages for `duration`.
void DispatchMessagesFor(std::chrono::milliseconds duration);

// Hooks for a thread whose loop is not the layer's (the Qt GUI thread).
struct ExternalLoop {
  // Called from any thread, possibly often, whenever the thread has something new to handle (a
  // post, a send, a timer started); it must only arrange for DispatchPendingMessages to run
  // soon on that thread.
  std::function<void()> wake;
  // Runs the external loop on its thread for about `slice`, the layer's messages included.
  std::function<void(std::chrono::milliseconds slice)> run;
};

// Attaches the calling thread to an external loop; empty functions detach it.
void SetExternalLoop(ExternalLoop loop);

// Handles everything the calling thread has pending now, due timers included. Returns when the
// next timer falls due, if one is running.
std::optional<std::chrono::steady_clock::time_point> DispatchPendingMessages();

}  // namespace orvane::platform
