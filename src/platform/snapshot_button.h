// The camera's snapshot button: UVC cameras report it on an input device of their own as
// KEY_CAMERA. A reader thread watches those devices and calls back on each press.
#pragma once

#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace orvane::platform {

class SnapshotButtonReader {
 public:
  // Opens the event devices it may read and starts the reader when there is any. A device it
  // has no permission for is left out (see Denied). The callback runs on the reader's thread.
  SnapshotButtonReader(const std::vector<std::string>& eventDevices, std::function<void()> onPress);
  ~SnapshotButtonReader();  // stops and joins the reader
  SnapshotButtonReader(const SnapshotButtonReader&) = delete;
  SnapshotButtonReader& operator=(const SnapshotButtonReader&) = delete;

  // Whether a device is being read.
  bool Active() const { return !descriptors_.empty(); }
  // The devices left out for want of permission: an ordinary user usually may not read a
  // camera's input device.
  const std::vector<std::string>& Denied() const { return denied_; }
  // Whether the reader thread could not be started (then nothing is read).
  bool Failed() const { return failed_; }

 private:
  void Run();

  std::vector<int> descriptors_;
  std::vector<std::string> denied_;
  bool failed_ = false;
  int wakeDescriptor_ = -1;  // an eventfd that ends the reader's wait
  std::function<void()> onPress_;
  std::thread reader_;
};

}  // namespace orvane::platform
