#include "platform/snapshot_button.h"

#include <fcntl.h>
#include <linux/input.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <system_error>

namespace orvane::platform {

SnapshotButtonReader::SnapshotButtonReader(const std::vector<std::string>& eventDevices,
                                           std::function<void()> onPress)
    : onPress_(std::move(onPress)) {
  for (const std::string& path : eventDevices) {
    const int descriptor = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (descriptor >= 0) descriptors_.push_back(descriptor);
    else if (errno == EACCES || errno == EPERM) denied_.push_back(path);
  }
  if (descriptors_.empty()) return;
  wakeDescriptor_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (wakeDescriptor_ >= 0) {
    try {
      reader_ = std::thread([this] { Run(); });
      return;
    } catch (const std::system_error&) {
    }
  }
  failed_ = true;
  for (int descriptor : descriptors_) ::close(descriptor);
  descriptors_.clear();
}

SnapshotButtonReader::~SnapshotButtonReader() {
  if (reader_.joinable()) {
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t written = ::write(wakeDescriptor_, &one, sizeof one);
    reader_.join();
  }
  for (int descriptor : descriptors_) ::close(descriptor);
  if (wakeDescriptor_ >= 0) ::close(wakeDescriptor_);
}

void SnapshotButtonReader::Run() {
  std::vector<pollfd> entries;
  entries.push_back({wakeDescriptor_, POLLIN, 0});
  for (int descriptor : descriptors_) entries.push_back({descriptor, POLLIN, 0});
  for (;;) {
    if (::poll(entries.data(), entries.size(), -1) < 0) {
      if (errno == EINTR) continue;
      return;
    }
    if (entries[0].revents != 0) return;
    for (std::size_t i = 1; i < entries.size(); ++i) {
      if ((entries[i].revents & (POLLERR | POLLHUP | POLLNVAL)) != 0) {
        entries[i].fd = -1;  // the camera went away; poll ignores negative descriptors
        continue;
      }
      if ((entries[i].revents & POLLIN) == 0) continue;
      input_event event{};
      while (::read(entries[i].fd, &event, sizeof event) == static_cast<ssize_t>(sizeof event)) {
        if (event.type == EV_KEY && event.code == KEY_CAMERA && event.value == 1 && onPress_) onPress_();
      }
    }
  }
}

}  // namespace orvane::platform
