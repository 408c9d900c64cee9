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
  // Opens the event devices it may read; one it has no permission for is left out quietly
  // (no button then, and no error). The callback runs on the reader's thread.
  SnapshotButtonReader(const std::vector<std::string>& eventDevices, std::function<void()> onPress);
  ~SnapshotButtonReader();  // stops and joins the reader
  SnapshotButtonReader(const SnapshotButtonReader&) = delete;
  SnapshotButtonReader& operator=(const SnapshotButtonReader&) = delete;

  // Whether any device could be opened.
  bool Active() const { return !descriptors_.empty(); }

 private:
  void Run();

  std::vector<int> descriptors_;
  int wakeDescriptor_ = -1;  // an eventfd that ends the reader's wait
  std::function<void()> onPress_;
  std::thread reader_;
};

}  // namespace orvane::platform
