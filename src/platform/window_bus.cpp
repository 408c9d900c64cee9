#include "platform/window_bus.h"

#include <dbus/dbus.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <stop_token>
#include <thread>

#include "platform/diagnostics.h"

namespace orvane::platform {
namespace {

// The longest bus name the bus accepts.
constexpr std::size_t kMaxBusName = 255;

constexpr const char* kIntrospection =
    "<!DOCTYPE node PUBLIC \"-//freedesktop//DTD D-BUS Object Introspection 1.0//EN\"\n"
    " \"http://www.freedesktop.org/standards/dbus/1.0/introspect.dtd\">\n"
    "<node>\n"
    "  <interface name=\"com.morvath.Window\">\n"
    "    <method name=\"Message\">\n"
    "      <arg name=\"message\" type=\"u\" direction=\"in\"/>\n"
    "      <arg name=\"wParam\" type=\"t\" direction=\"in\"/>\n"
    "      <arg name=\"lParam\" type=\"x\" direction=\"in\"/>\n"
    "      <arg name=\"result\" type=\"x\" direction=\"out\"/>\n"
    "    </method>\n"
    "  </interface>\n"
    "  <interface name=\"org.freedesktop.DBus.Introspectable\">\n"
    "    <method name=\"Introspect\">\n"
    "      <arg name=\"xml\" type=\"s\" direction=\"out\"/>\n"
    "    </method>\n"
    "  </interface>\n"
    "</node>\n";

struct ConnectionCloser {
  void operator()(DBusConnection* connection) const {
    dbus_connection_close(connection);
    dbus_connection_unref(connection);
  }
};
using ConnectionPtr = std::unique_ptr<DBusConnection, ConnectionCloser>;

struct MessageUnref {
  void operator()(DBusMessage* message) const { dbus_message_unref(message); }
};
using MessagePtr = std::unique_ptr<DBusMessage, MessageUnref>;

class BusError {
 public:
  BusError() { dbus_error_init(&error_); }
  ~BusError() { dbus_error_free(&error_); }
  BusError(const BusError&) = delete;
  BusError& operator=(const BusError&) = delete;
  DBusError* get() { return &error_; }
  bool Is(const char* name) const { return dbus_error_has_name(&error_, name); }
  std::string Text() const {
    if (!dbus_error_is_set(&error_)) return "unknown error";
    return std::string(error_.name) + ": " + (error_.message != nullptr ? error_.message : "");
  }

 private:
  DBusError error_;
};

int Milliseconds(std::chrono::milliseconds timeout) {
  return static_cast<int>(std::clamp<std::chrono::milliseconds::rep>(timeout.count(), 0, INT_MAX));
}

ConnectionPtr Connect(const std::string& address) {
  if (address.empty()) return nullptr;
  dbus_threads_init_default();
  BusError error;
  // Private: the connection is this object's alone, never shared with Qt or another part.
  ConnectionPtr connection(dbus_connection_open_private(address.c_str(), error.get()));
  if (!connection) {
    DebugOutput("window bus: cannot reach " + address + ": " + error.Text());
    return nullptr;
  }
  // A bus that goes away is no reason for the program to end.
  dbus_connection_set_exit_on_disconnect(connection.get(), FALSE);
  if (!dbus_bus_register(connection.get(), error.get())) {
    DebugOutput("window bus: " + address + " does not take this program: " + error.Text());
    return nullptr;
  }
  return connection;
}

// Drops what arrived unasked (the bus's greeting, calls to the connection's own name, which
// libdbus answers as unknown): nothing else reads a caller's connection.
void DropIncoming(DBusConnection* connection) {
  while (dbus_connection_dispatch(connection) == DBUS_DISPATCH_DATA_REMAINS) {
  }
}

MessagePtr NewWindowCall(const std::string& busName, MessageId id, WParam wParam, LParam lParam) {
  MessagePtr call(dbus_message_new_method_call(busName.c_str(), "/", kWindowInterface, kWindowMethod));
  if (!call) return nullptr;
  // A window that is not there is not started for the call.
  dbus_message_set_auto_start(call.get(), FALSE);
  const dbus_uint32_t message = id;
  const dbus_uint64_t w = wParam;
  const dbus_int64_t l = lParam;
  if (!dbus_message_append_args(call.get(), DBUS_TYPE_UINT32, &message, DBUS_TYPE_UINT64, &w, DBUS_TYPE_INT64, &l,
                                DBUS_TYPE_INVALID)) {
    return nullptr;
  }
  return call;
}

std::string Hex(MessageId id) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%X", static_cast<unsigned>(id));
  return text;
}

}  // namespace

std::string WindowBusName(std::string_view caption) {
  if (caption.empty()) return {};
  static constexpr char kHexDigits[] = "0123456789abcdef";
  std::string name = kWindowBusPrefix;
  for (const char c : caption) {
    const auto byte = static_cast<unsigned char>(c);
    if ((byte >= 'A' && byte <= 'Z') || (byte >= 'a' && byte <= 'z')) {
      name += c;
    } else {
      name += '_';
      name += kHexDigits[byte >> 4];
      name += kHexDigits[byte & 0x0F];
    }
  }
  if (name.size() > kMaxBusName) return {};
  return name;
}

std::string SessionBusAddress() {
  if (const char* address = std::getenv("DBUS_SESSION_BUS_ADDRESS"); address != nullptr && *address != '\0')
    return address;
  if (const char* runtime = std::getenv("XDG_RUNTIME_DIR"); runtime != nullptr && *runtime != '\0') {
    const std::string socket = std::string(runtime) + "/bus";
    struct stat info {};
    if (stat(socket.c_str(), &info) == 0 && S_ISSOCK(info.st_mode)) {
      char* escaped = dbus_address_escape_value(socket.c_str());
      if (escaped == nullptr) return {};
      std::string address = std::string("unix:path=") + escaped;
      dbus_free(escaped);
      return address;
    }
  }
  return {};
}

// ---- Calling other programs' windows ----

struct WindowBus::Connection {
  ConnectionPtr bus;
};

WindowBus::WindowBus(const std::string& address) {
  if (ConnectionPtr bus = Connect(address)) connection_ = std::make_unique<Connection>(Connection{std::move(bus)});
}

WindowBus::~WindowBus() = default;

bool WindowBus::Connected() const { return connection_ != nullptr; }

bool WindowBus::FindWindow(std::string_view caption) {
  const std::string busName = WindowBusName(caption);
  if (busName.empty() || !connection_) return false;
  std::lock_guard lock(mutex_);
  DBusConnection* bus = connection_->bus.get();
  MessagePtr call(dbus_message_new_method_call(DBUS_SERVICE_DBUS, DBUS_PATH_DBUS, DBUS_INTERFACE_DBUS, "NameHasOwner"));
  const char* name = busName.c_str();
  if (!call || !dbus_message_append_args(call.get(), DBUS_TYPE_STRING, &name, DBUS_TYPE_INVALID)) return false;
  BusError error;
  MessagePtr reply(dbus_connection_send_with_reply_and_block(bus, call.get(), Milliseconds(kBusSendTimeout), error.get()));
  DropIncoming(bus);
  dbus_bool_t owned = FALSE;
  if (!reply || !dbus_message_get_args(reply.get(), error.get(), DBUS_TYPE_BOOLEAN, &owned, DBUS_TYPE_INVALID)) {
    DebugOutput("window bus: cannot look for " + busName + ": " + error.Text());
    return false;
  }
  return owned != FALSE;
}

std::optional<MessageResult> WindowBus::Send(std::string_view caption, MessageId id, WParam wParam, LParam lParam,
                                             std::chrono::milliseconds timeout) {
  const std::string busName = WindowBusName(caption);
  if (busName.empty() || !connection_) return std::nullopt;
  std::lock_guard lock(mutex_);
  DBusConnection* bus = connection_->bus.get();
  MessagePtr call = NewWindowCall(busName, id, wParam, lParam);
  if (!call) return std::nullopt;
  BusError error;
  MessagePtr reply(dbus_connection_send_with_reply_and_block(bus, call.get(), Milliseconds(timeout), error.get()));
  DropIncoming(bus);
  if (!reply) {
    // A window that is not there is an answer of its own; anything else is worth a line.
    if (!error.Is(DBUS_ERROR_SERVICE_UNKNOWN) && !error.Is(DBUS_ERROR_NAME_HAS_NO_OWNER))
      DebugOutput("window bus: " + busName + " did not answer " + Hex(id) + ": " + error.Text());
    return std::nullopt;
  }
  dbus_int64_t result = 0;
  if (!dbus_message_get_args(reply.get(), error.get(), DBUS_TYPE_INT64, &result, DBUS_TYPE_INVALID)) {
    DebugOutput("window bus: " + busName + " answered " + Hex(id) + " with no result: " + error.Text());
    return std::nullopt;
  }
  return static_cast<MessageResult>(result);
}

bool WindowBus::Post(std::string_view caption, MessageId id, WParam wParam, LParam lParam) {
  const std::string busName = WindowBusName(caption);
  if (busName.empty() || !connection_) return false;
  std::lock_guard lock(mutex_);
  DBusConnection* bus = connection_->bus.get();
  MessagePtr call = NewWindowCall(busName, id, wParam, lParam);
  if (!call) return false;
  dbus_message_set_no_reply(call.get(), TRUE);
  if (!dbus_connection_send(bus, call.get(), nullptr)) return false;
  dbus_connection_flush(bus);
  DropIncoming(bus);
  return true;
}

// ---- Offering a window of this program ----

namespace {

// A companion's calls never hold the window's server longer than the companion itself waits,
// and its posts never fill the window's queue: past this many waiting, new ones are dropped.
constexpr std::chrono::milliseconds kWindowAnswerTimeout = kBusSendTimeout;
constexpr int kMostWaitingPosts = 64;

// Rides along with a post to the window: counts it as waiting until it is handled or dropped.
class WaitingPost {
 public:
  explicit WaitingPost(std::shared_ptr<std::atomic<int>> waiting) : waiting_(std::move(waiting)) { ++*waiting_; }
  ~WaitingPost() { --*waiting_; }
  WaitingPost(const WaitingPost&) = delete;
  WaitingPost& operator=(const WaitingPost&) = delete;

 private:
  std::shared_ptr<std::atomic<int>> waiting_;
};

}  // namespace

struct BusWindow::Server {
  ConnectionPtr bus;
  TargetHandle target;
  std::vector<MessageId> accepted;
  std::stop_source stop;
  std::stop_token stopToken = stop.get_token();
  int wakeDescriptor = -1;  // an eventfd that ends the thread
  std::thread thread;
  bool registered = false;
  // Shared with the posts still in the window's queue, which may outlive this server.
  std::shared_ptr<std::atomic<int>> waitingPosts = std::make_shared<std::atomic<int>>(0);
  bool postsDropped = false;

  ~Server() {
    if (thread.joinable()) {
      stop.request_stop();
      const std::uint64_t one = 1;
      [[maybe_unused]] const ssize_t written = write(wakeDescriptor, &one, sizeof one);
      thread.join();
    }
    if (wakeDescriptor >= 0) close(wakeDescriptor);
  }

  bool Accepts(MessageId id) const { return std::find(accepted.begin(), accepted.end(), id) != accepted.end(); }

  void Reply(MessagePtr reply) {
    if (reply) dbus_connection_send(bus.get(), reply.get(), nullptr);
  }

  void ReplyError(DBusMessage* call, const char* name, const char* text) {
    Reply(MessagePtr(dbus_message_new_error(call, name, text)));
  }

  DBusHandlerResult Handle(DBusMessage* call) {
    if (dbus_message_is_method_call(call, DBUS_INTERFACE_INTROSPECTABLE, "Introspect")) {
      MessagePtr reply(dbus_message_new_method_return(call));
      const char* xml = kIntrospection;
      if (reply && dbus_message_append_args(reply.get(), DBUS_TYPE_STRING, &xml, DBUS_TYPE_INVALID))
        Reply(std::move(reply));
      return DBUS_HANDLER_RESULT_HANDLED;
    }
    if (!dbus_message_is_method_call(call, kWindowInterface, kWindowMethod)) return DBUS_HANDLER_RESULT_NOT_YET_HANDLED;
    dbus_uint32_t id = 0;
    dbus_uint64_t wParam = 0;
    dbus_int64_t lParam = 0;
    BusError error;
    if (!dbus_message_has_signature(call, "utx") ||
        !dbus_message_get_args(call, error.get(), DBUS_TYPE_UINT32, &id, DBUS_TYPE_UINT64, &wParam, DBUS_TYPE_INT64,
                               &lParam, DBUS_TYPE_INVALID)) {
      if (!dbus_message_get_no_reply(call))
        ReplyError(call, DBUS_ERROR_INVALID_ARGS, "Message takes a message (u), a wParam (t) and an lParam (x)");
      return DBUS_HANDLER_RESULT_HANDLED;
    }
    const bool accepted = Accepts(id);
    if (dbus_message_get_no_reply(call)) {
      if (accepted) PostOn(id, static_cast<WParam>(wParam), static_cast<LParam>(lParam));
      return DBUS_HANDLER_RESULT_HANDLED;
    }
    MessageResult result = 0;
    if (accepted) {
      // The owner's thread computes the answer; the wait ends when this window leaves the bus,
      // or when its thread is too busy to take the message in time.
      const std::optional<MessageResult> answer = TrySendFor(
          target, id, static_cast<WParam>(wParam), static_cast<LParam>(lParam), kWindowAnswerTimeout, stopToken);
      if (!answer) {
        ReplyError(call, DBUS_ERROR_FAILED, "the window is busy or closing");
        return DBUS_HANDLER_RESULT_HANDLED;
      }
      result = *answer;
    }
    MessagePtr reply(dbus_message_new_method_return(call));
    const dbus_int64_t value = result;
    if (reply && dbus_message_append_args(reply.get(), DBUS_TYPE_INT64, &value, DBUS_TYPE_INVALID))
      Reply(std::move(reply));
    return DBUS_HANDLER_RESULT_HANDLED;
  }

  void PostOn(MessageId id, WParam wParam, LParam lParam) {
    if (*waitingPosts >= kMostWaitingPosts) {
      if (!postsDropped) DebugOutput("window bus: the window is not taking its messages; posts to it are dropped");
      postsDropped = true;
      return;
    }
    postsDropped = false;
    Post(target, Message{id, wParam, lParam, std::make_shared<WaitingPost>(waitingPosts)});
  }

  static DBusHandlerResult OnMessage(DBusConnection*, DBusMessage* call, void* self) {
    return static_cast<Server*>(self)->Handle(call);
  }

  // Serves the calls until the window leaves the bus or the bus goes away.
  void Run() {
    DBusConnection* connection = bus.get();
    int busDescriptor = -1;
    if (!dbus_connection_get_unix_fd(connection, &busDescriptor)) return;
    for (;;) {
      // Handlers run here, on this thread, one call after the other.
      while (dbus_connection_dispatch(connection) == DBUS_DISPATCH_DATA_REMAINS) {
      }
      dbus_connection_flush(connection);
      if (stopToken.stop_requested()) return;
      pollfd descriptors[2] = {{wakeDescriptor, POLLIN, 0}, {busDescriptor, POLLIN, 0}};
      if (poll(descriptors, 2, -1) < 0) {
        if (errno == EINTR) continue;
        return;
      }
      if ((descriptors[0].revents & POLLIN) != 0) return;
      if (descriptors[1].revents != 0 && !dbus_connection_read_write(connection, 0)) return;
    }
  }
};

BusWindow::BusWindow(const std::string& address, std::string_view caption, TargetHandle target,
                     std::vector<MessageId> accepted)
    : server_(std::make_unique<Server>()) {
  const std::string busName = WindowBusName(caption);
  if (busName.empty()) return;
  server_->bus = Connect(address);
  if (!server_->bus) return;
  server_->target = target;
  server_->accepted = std::move(accepted);
  DBusConnection* connection = server_->bus.get();

  static const DBusObjectPathVTable vtable = {nullptr, &Server::OnMessage, nullptr, nullptr, nullptr, nullptr};
  BusError error;
  if (!dbus_connection_try_register_object_path(connection, "/", &vtable, server_.get(), error.get())) {
    DebugOutput("window bus: cannot offer " + busName + ": " + error.Text());
    server_->bus.reset();
    return;
  }
  // Calls that arrive from here on wait in the connection until the thread serves them.
  const int owner = dbus_bus_request_name(connection, busName.c_str(), DBUS_NAME_FLAG_DO_NOT_QUEUE, error.get());
  if (owner != DBUS_REQUEST_NAME_REPLY_PRIMARY_OWNER && owner != DBUS_REQUEST_NAME_REPLY_ALREADY_OWNER) {
    DebugOutput("window bus: " + busName + " is another program's" +
                (owner < 0 ? ": " + error.Text() : std::string()));
    server_->bus.reset();
    return;
  }
  server_->wakeDescriptor = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (server_->wakeDescriptor < 0) {
    server_->bus.reset();
    return;
  }
  server_->thread = std::thread([server = server_.get()] { server->Run(); });
  server_->registered = true;
}

BusWindow::~BusWindow() = default;

bool BusWindow::Registered() const { return server_->registered; }

}  // namespace orvane::platform
