#include <fcntl.h>
#include <linux/input.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <thread>

#include <gtest/gtest.h>

#include "platform/snapshot_button.h"
#include "temp_folder.h"

namespace orvane::platform {
namespace {

void Emit(int descriptor, unsigned short type, unsigned short code, int value) {
  input_event event{};
  event.type = type;
  event.code = code;
  event.value = value;
  ASSERT_EQ(::write(descriptor, &event, sizeof event), static_cast<ssize_t>(sizeof event));
}

// A FIFO stands in for the camera's event device: the reader sees the same input_event records.
TEST(SnapshotButtonReader, ReportsCameraKeyPressesOnly) {
  testing::TempFolder folder;
  const std::string path = (folder / "event5").string();
  ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);
  std::atomic<int> presses{0};
  const int keepOpen = ::open(path.c_str(), O_RDWR | O_NONBLOCK);  // so the reader's open succeeds
  {
    SnapshotButtonReader reader({path}, [&] { ++presses; });
    ASSERT_TRUE(reader.Active());
    Emit(keepOpen, EV_KEY, KEY_CAMERA, 1);
    Emit(keepOpen, EV_KEY, KEY_CAMERA, 0);  // release
    Emit(keepOpen, EV_KEY, KEY_ENTER, 1);
    Emit(keepOpen, EV_KEY, KEY_CAMERA, 2);  // auto-repeat
    Emit(keepOpen, EV_KEY, KEY_CAMERA, 1);
    for (int i = 0; i < 200 && presses < 2; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }  // the destructor stops the reader while its device is still open
  ::close(keepOpen);
  EXPECT_EQ(presses, 2);
}

TEST(SnapshotButtonReader, NoReadableDeviceMeansNoButton) {
  testing::TempFolder folder;
  SnapshotButtonReader reader({(folder / "absent").string()}, [] {});
  EXPECT_FALSE(reader.Active());
}

}  // namespace
}  // namespace orvane::platform
