// A session bus of the test's own, and companion programs' windows on it.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "platform/messages.h"
#include "platform/window_bus.h"

extern char** environ;

namespace orvane::testing {

// A dbus-daemon for the life of the object; it also ends when the test program dies.
class PrivateBus {
 public:
  PrivateBus() {
    int out[2];
    if (pipe2(out, O_CLOEXEC) != 0) {
      ADD_FAILURE() << "no pipe for dbus-daemon";
      return;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    // Its complaints about the test's limits are of no interest.
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    const char* argv[] = {"setpriv", "--pdeathsig", "TERM", "--", "dbus-daemon", "--session", "--nofork",
                          "--nopidfile", "--print-address", nullptr};
    const int spawned = posix_spawnp(&pid_, "setpriv", &actions, nullptr, const_cast<char**>(argv), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);
    if (spawned != 0) {
      pid_ = -1;
      close(out[0]);
      ADD_FAILURE() << "dbus-daemon could not be started (tools/setup.sh installs it)";
      return;
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    std::string line;
    while (line.find('\n') == std::string::npos && std::chrono::steady_clock::now() < deadline) {
      pollfd readable{out[0], POLLIN, 0};
      if (poll(&readable, 1, 100) <= 0) continue;
      char buffer[256];
      const ssize_t got = read(out[0], buffer, sizeof buffer);
      if (got <= 0) break;
      line.append(buffer, static_cast<std::size_t>(got));
    }
    close(out[0]);
    if (const std::size_t end = line.find('\n'); end != std::string::npos) address_ = line.substr(0, end);
    if (address_.empty()) ADD_FAILURE() << "dbus-daemon gave no address";
  }
  ~PrivateBus() {
    if (pid_ <= 0) return;
    kill(pid_, SIGTERM);
    waitpid(pid_, nullptr, 0);
  }
  PrivateBus(const PrivateBus&) = delete;
  PrivateBus& operator=(const PrivateBus&) = delete;

  const std::string& Address() const { return address_; }

 private:
  pid_t pid_ = -1;
  std::string address_;
};

// A companion program's window on a bus, on a thread of its own: it answers the accepted
// messages with `answer` (never, while it lives, when there is none) and keeps what it got.
class FakeCompanion {
 public:
  FakeCompanion(const std::string& address, const std::string& caption, std::vector<platform::MessageId> accepted,
                std::optional<platform::MessageResult> answer = 0)
      : answer_(answer) {
    thread_ = std::jthread([this, address, caption, accepted](std::stop_token stop) {
      const platform::TargetHandle target =
          platform::CreateTarget([this](const platform::Message& message) { return Answer(message); });
      {
        platform::BusWindow window(address, caption, target, accepted);
        {
          std::lock_guard lock(mutex_);
          registered_ = window.Registered();
          ready_ = true;
        }
        changed_.notify_all();
        platform::RunMessageLoop(stop);
      }
      platform::DestroyTarget(target);
    });
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return ready_; });
  }
  ~FakeCompanion() {
    {
      std::lock_guard lock(mutex_);
      leaving_ = true;
    }
    changed_.notify_all();
    thread_.request_stop();
    thread_.join();
  }
  FakeCompanion(const FakeCompanion&) = delete;
  FakeCompanion& operator=(const FakeCompanion&) = delete;

  bool Registered() const {
    std::lock_guard lock(mutex_);
    return registered_;
  }
  struct Received {
    platform::MessageId id;
    platform::WParam wParam;
    platform::LParam lParam;
    friend bool operator==(const Received&, const Received&) = default;
  };
  std::vector<Received> Messages() const {
    std::lock_guard lock(mutex_);
    return received_;
  }

 private:
  platform::MessageResult Answer(const platform::Message& message) {
    std::unique_lock lock(mutex_);
    received_.push_back({message.id, message.wParam, message.lParam});
    changed_.notify_all();
    if (answer_) return *answer_;
    // A hung program: it answers only when it is made to go.
    changed_.wait_for(lock, std::chrono::seconds(20), [this] { return leaving_; });
    return 0;
  }

  const std::optional<platform::MessageResult> answer_;
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  bool ready_ = false;
  bool registered_ = false;
  bool leaving_ = false;
  std::vector<Received> received_;
  std::jthread thread_;
};

// A shared memory made as a companion makes it ("/" + name, `size` zero bytes), removed after.
class CompanionMemory {
 public:
  CompanionMemory(std::string name, std::size_t size) : name_("/" + std::move(name)) {
    shm_unlink(name_.c_str());
    descriptor_ = shm_open(name_.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (descriptor_ < 0 || ftruncate(descriptor_, static_cast<off_t>(size)) != 0) ADD_FAILURE() << "no " << name_;
  }
  ~CompanionMemory() {
    if (descriptor_ >= 0) close(descriptor_);
    shm_unlink(name_.c_str());
  }
  CompanionMemory(const CompanionMemory&) = delete;
  CompanionMemory& operator=(const CompanionMemory&) = delete;

  // Its bytes, read as the companion reads them; `past` more bytes when a writer went beyond its
  // end (the memory is grown to show them: tmpfs keeps what was written past the end of a page).
  std::string Bytes(std::size_t past = 0) const {
    struct stat info {};
    fstat(descriptor_, &info);
    const auto size = static_cast<std::size_t>(info.st_size);
    if (past > 0 && ftruncate(descriptor_, static_cast<off_t>(size + past)) != 0) return {};
    std::string bytes(size + past, '\0');
    if (pread(descriptor_, bytes.data(), bytes.size(), 0) != static_cast<ssize_t>(bytes.size())) return {};
    return bytes;
  }

 private:
  std::string name_;
  int descriptor_ = -1;
};

// A name of the test's own for a shared memory: tests run side by side.
inline std::string UniqueMemoryName(const std::string& stem) { return stem + "-" + std::to_string(getpid()); }

}  // namespace orvane::testing
