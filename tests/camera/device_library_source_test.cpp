// The device-library source over the simulated library, loaded through dlopen as the program
// loads the real one: loading, opening, streaming, the size list, controls and every failure.
#include "camera/device_library_source.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "camera/frame.h"
#include "platform/file_io.h"
#include "simulator_control.h"

namespace orvane {
namespace {

using namespace std::chrono_literals;
using testing::SimulatorControl;

template <class Condition>
bool WaitUntil(Condition condition, std::chrono::milliseconds timeout = 60000ms) {
  const auto end = std::chrono::steady_clock::now() + timeout;
  while (!condition()) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(2ms);
  }
  return true;
}

class DeviceLibrarySourceTest : public ::testing::Test {
 protected:
  SimulatorControl sim_;

  bool OpenAndStart(CRNXStreamerData& source) {
    return source.Open(testing::kSimulatorAddress, "", "", {}, false, 0) == kSuccess && source.Start();
  }
};

TEST_F(DeviceLibrarySourceTest, WithoutTheLibraryOrAnAddressOpenAnswersOne) {
  CRNXStreamerData absent(testing::TempFolder() / "libRNX_WMP.so");
  EXPECT_FALSE(absent.LibraryLoaded());
  EXPECT_EQ(absent.Open(testing::kSimulatorAddress, "", "", {}, false, 0), 1);
  EXPECT_FALSE(absent.Start());
  EXPECT_EQ(absent.GetResolutionCount(), -1);
  EXPECT_EQ(absent.ProbeDevice(testing::kSimulatorAddress, ""), 0);

  CRNXStreamerData loaded;  // through ORVANE_DEVICE_LIBRARY
  EXPECT_TRUE(loaded.LibraryLoaded());
  EXPECT_EQ(loaded.Open("", "", "", {}, false, 0), 1);
  EXPECT_EQ(loaded.GetState(), kStateClosed);
}

TEST_F(DeviceLibrarySourceTest, AMissingExportIsNamedAndLeavesTheSourceUnloaded) {
  ::testing::internal::CaptureStdout();
  CRNXStreamerData source(testing::kPartialSimulatorPath);
  std::fflush(stdout);
  const std::string output = ::testing::internal::GetCapturedStdout();
  EXPECT_EQ(output, "Dashel, Get QV_ScanDevice_UnInit() failed\n");
  EXPECT_FALSE(source.LibraryLoaded());
  EXPECT_EQ(source.Open(testing::kSimulatorAddress, "", "", {}, false, 0), 1);
}

TEST_F(DeviceLibrarySourceTest, StreamsDecodedFramesAndFeedsTheFrameSlot) {
  sim_.SetColour(0x2060A0);
  CRNXStreamerData source;
  CFrameSlot slot;
  source.SetFrameSink(&slot);
  ASSERT_TRUE(OpenAndStart(source));
  EXPECT_EQ(source.GetState(), kStateRunning);
  EXPECT_TRUE(source.Start());  // already running

  ASSERT_TRUE(WaitUntil([&] { return !source.GetFrame().empty(); }));
  const cv::Mat frame = source.GetFrame();
  ASSERT_EQ(frame.size(), cv::Size(320, 240));
  const cv::Vec3b top = frame.at<cv::Vec3b>(10, 10);
  EXPECT_NEAR(top[0], 0xA0, 8);
  EXPECT_NEAR(top[1], 0x60, 8);
  EXPECT_NEAR(top[2], 0x20, 8);

  ASSERT_TRUE(WaitUntil([&] { return slot.State() == CFrameSlot::kFilled; }));
  EXPECT_EQ(slot.Subtype(), FrameSubtype::MJPG);
  EXPECT_EQ(slot.Width(), 320);
  EXPECT_EQ(slot.Height(), 240);

  EXPECT_TRUE(source.Stop());
  EXPECT_EQ(source.GetState(), kStateOpened);
  EXPECT_FALSE(sim_.Connected());
  EXPECT_EQ(sim_.LentRecords(), 0);
  EXPECT_EQ(sim_.Calls("RNX_WMP_Video_End"), 1);
  EXPECT_TRUE(source.GetFrame().empty());  // the stop flag is up

  // A stopped source starts again on a new connection.
  ASSERT_TRUE(source.Start());
  EXPECT_TRUE(WaitUntil([&] { return !source.GetFrame().empty(); }));
}

// A few hundred bytes whose header claims 20000 x 20000 pixels, far beyond any size the device
// offers: a bad frame, neither decoded nor handed on (it once cost 1.2 GB a frame).
TEST_F(DeviceLibrarySourceTest, AFrameLargerThanTheDeviceOffersIsDropped) {
  const auto huge = platform::ReadWholeFile(std::filesystem::path(__FILE__).parent_path().parent_path() /
                                            "imaging/fixtures/jpeg_claims_20000x20000.jpg");
  ASSERT_TRUE(huge);
  sim_.SetFrame(*huge);
  CRNXStreamerData source;
  CFrameSlot slot;
  source.SetFrameSink(&slot);
  ASSERT_TRUE(OpenAndStart(source));
  ASSERT_TRUE(WaitUntil([&] { return sim_.Calls("RNX_WMP_Video_RequestVideoData") >= 5; }));
  EXPECT_TRUE(source.GetFrame().empty());
  EXPECT_NE(slot.State(), CFrameSlot::kFilled);
  sim_.SetFrame({});
  EXPECT_TRUE(WaitUntil([&] { return !source.GetFrame().empty(); }));
  EXPECT_TRUE(source.Stop());
}

TEST_F(DeviceLibrarySourceTest, ADetachedSinkGetsNoMoreFrames) {
  CRNXStreamerData source;
  CFrameSlot slot;
  source.SetFrameSink(&slot);
  ASSERT_TRUE(OpenAndStart(source));
  ASSERT_TRUE(WaitUntil([&] { return slot.State() == CFrameSlot::kFilled; }));
  source.SetFrameSink(nullptr);
  slot.MarkTaken();
  const int polls = sim_.Calls("RNX_WMP_Poll");
  ASSERT_TRUE(WaitUntil([&] { return sim_.Calls("RNX_WMP_Poll") > polls + 3; }));
  EXPECT_EQ(slot.State(), CFrameSlot::kTaken);
}

TEST_F(DeviceLibrarySourceTest, CopyFrameToHandsTheFrameBottomRowFirst) {
  struct Sink : CBasePR {
    void CopyFrame(const std::uint8_t* buffer, int w, int h) override {
      width = w;
      height = h;
      first.assign(buffer, buffer + 3);
      last.assign(buffer + (w * h - 1) * 3, buffer + w * h * 3);
    }
    int width = 0, height = 0;
    std::vector<std::uint8_t> first, last;
  } sink;
  sim_.SetColour(0x000000);  // upper half black, lower half white
  CRNXStreamerData source;
  EXPECT_FALSE(source.CopyFrameTo(&sink));
  ASSERT_TRUE(OpenAndStart(source));
  ASSERT_TRUE(WaitUntil([&] { return source.CopyFrameTo(&sink); }));
  EXPECT_EQ(sink.width, 320);
  EXPECT_EQ(sink.height, 240);
  EXPECT_GT(sink.first[0], 240);  // bottom-left: white
  EXPECT_LT(sink.last[0], 16);    // top-right: black
}

TEST_F(DeviceLibrarySourceTest, TheAddressIsBoundedToNineteenBytes) {
  const std::string longAddress = "fe80::1234:5678:9abc:def0";
  sim_.SetDevice(true, longAddress.substr(0, 19));
  CRNXStreamerData source;
  ASSERT_EQ(source.Open(longAddress, "", "", {}, false, 0), kSuccess);
  EXPECT_TRUE(source.Start());
}

struct StartFailure {
  const char* call;
  const char* line;
};

class DeviceLibraryStartFailureTest : public DeviceLibrarySourceTest,
                                      public ::testing::WithParamInterface<StartFailure> {};

TEST_P(DeviceLibraryStartFailureTest, StartFailsStaysOpenedAndLaterSucceeds) {
  sim_.Fail(GetParam().call, -11, 1, 1);
  CRNXStreamerData source;
  ASSERT_EQ(source.Open(testing::kSimulatorAddress, "", "", {}, false, 0), kSuccess);
  ::testing::internal::CaptureStdout();
  EXPECT_FALSE(source.Start());
  std::fflush(stdout);
  EXPECT_EQ(::testing::internal::GetCapturedStdout(), GetParam().line);
  EXPECT_EQ(source.GetState(), kStateOpened);
  EXPECT_FALSE(sim_.Connected());
  EXPECT_TRUE(source.Start());
}

INSTANTIATE_TEST_SUITE_P(
    Calls, DeviceLibraryStartFailureTest,
    ::testing::Values(StartFailure{"RNX_WMP_ConnectDevice", "connect fail, error code:-11\n"},
                      StartFailure{"RNX_WMP_Video_Begin", "open video stream fail, error code:-11\n"}));

struct PollFailure {
  const char* call;
  int code;
  SourceEvent event;
};

class DeviceLibraryPollFailureTest : public DeviceLibrarySourceTest,
                                     public ::testing::WithParamInterface<PollFailure> {};

TEST_P(DeviceLibraryPollFailureTest, EndsThePollThreadAndIsReported) {
  CRNXStreamerData source;
  SourceEvent event = SourceEvent::OtherDevice;
  EXPECT_FALSE(source.PollEvent(&event, nullptr));  // no address yet
  ASSERT_TRUE(OpenAndStart(source));
  ASSERT_TRUE(source.PollEvent(&event, nullptr));
  EXPECT_EQ(event, SourceEvent::None);
  sim_.Fail(GetParam().call, GetParam().code);
  ASSERT_TRUE(WaitUntil([&] { return !sim_.Connected(); }));  // the thread disconnected on its way out
  ASSERT_TRUE(source.PollEvent(&event, nullptr));
  EXPECT_EQ(event, GetParam().event);
  EXPECT_EQ(source.GetState(), kStateRunning);
  EXPECT_EQ(sim_.LentRecords(), 0);
  EXPECT_TRUE(source.Stop());
  EXPECT_EQ(sim_.Calls("RNX_WMP_Disconnect"), 1);
}

INSTANTIATE_TEST_SUITE_P(
    Calls, DeviceLibraryPollFailureTest,
    ::testing::Values(PollFailure{"RNX_WMP_Poll", -6, SourceEvent::DeviceLost},
                      PollFailure{"RNX_WMP_Poll", -2, SourceEvent::DeviceLost},  // after 50 time-outs
                      PollFailure{"RNX_WMP_Video_RequestVideoData", -1, SourceEvent::StreamAborted}));

TEST_F(DeviceLibrarySourceTest, TimeOutsBelowFiftyInARowKeepStreaming) {
  CRNXStreamerData source;
  ASSERT_TRUE(OpenAndStart(source));
  const int before = sim_.Calls("RNX_WMP_Poll");
  sim_.Fail("RNX_WMP_Poll", -2, before + 1, 49);
  ASSERT_TRUE(WaitUntil([&] { return sim_.Calls("RNX_WMP_Poll") > before + 60; }));
  SourceEvent event = SourceEvent::OtherDevice;
  ASSERT_TRUE(source.PollEvent(&event, nullptr));
  EXPECT_EQ(event, SourceEvent::None);
  EXPECT_TRUE(sim_.Connected());
}

TEST_F(DeviceLibrarySourceTest, AParameterChangeIsReadBack) {
  CRNXStreamerData source;
  ASSERT_TRUE(OpenAndStart(source));
  sim_.RaiseParamChange();
  EXPECT_TRUE(WaitUntil([&] { return sim_.Calls("RNX_WMP_GetParamChangeType") == 1; }));
}

TEST_F(DeviceLibrarySourceTest, TheSizeListIsReadOnceAndEveryProbeDisconnects) {
  CRNXStreamerData source;
  EXPECT_EQ(source.GetDeviceResolutionCount(testing::kSimulatorAddress, "", 0), 4);
  EXPECT_FALSE(sim_.Connected());
  const std::pair<int, int> expected[] = {{320, 240}, {640, 480}, {640, 480}, {160, 120}};
  for (int i = 0; i < 4; ++i) {
    int width = 0;
    int height = 0;
    ASSERT_EQ(source.GetDeviceResolution(testing::kSimulatorAddress, "", 0, i, &width, &height), 0);
    EXPECT_EQ(std::make_pair(width, height), expected[i]) << i;
    ASSERT_EQ(source.GetResolution(i, &width, &height), 0);
    EXPECT_EQ(std::make_pair(width, height), expected[i]) << i;
  }
  int width = 0;
  int height = 0;
  EXPECT_EQ(source.GetResolution(4, &width, &height), -1);
  EXPECT_EQ(source.GetDeviceResolution(testing::kSimulatorAddress, "", 0, -1, &width, &height), -1);
  EXPECT_EQ(sim_.Calls("RNX_WMP_Video_GetAbility"), 1);
  EXPECT_EQ(sim_.Calls("RNX_WMP_ConnectDevice"), sim_.Calls("RNX_WMP_Disconnect"));
  EXPECT_FALSE(sim_.Connected());
  EXPECT_EQ(source.ProbeDevice(testing::kSimulatorAddress, ""), 1);
}

TEST_F(DeviceLibrarySourceTest, ProbesOfAnAbsentOrFailingDevice) {
  CRNXStreamerData source;
  EXPECT_EQ(source.ProbeDevice("10.0.0.9", ""), 0);
  EXPECT_EQ(source.GetDeviceResolutionCount("10.0.0.9", "", 0), -1);
  sim_.Fail("RNX_WMP_Video_GetAbility", -3);
  EXPECT_EQ(source.ProbeDevice(testing::kSimulatorAddress, ""), 0);
  EXPECT_FALSE(sim_.Connected());
}

TEST_F(DeviceLibrarySourceTest, APendingSizeIsAppliedAtStartAndDroppedByStop) {
  CRNXStreamerData source;
  ASSERT_EQ(source.Open(testing::kSimulatorAddress, "", "", {}, false, 0), kSuccess);
  EXPECT_EQ(source.SetResolution(640, 480), kSuccess);
  EXPECT_EQ(sim_.Calls("RNX_WMP_Video_SetResolu"), 0);
  int width = -1;
  int height = -1;
  source.GetCurrentResolution(&width, &height);
  EXPECT_EQ(width, 0);
  ASSERT_TRUE(source.Start());
  source.GetCurrentResolution(&width, &height);
  EXPECT_EQ(std::make_pair(width, height), std::make_pair(640, 480));
  ASSERT_TRUE(WaitUntil([&] { return source.GetFrame().cols == 640; }));

  ASSERT_EQ(source.SetResolutionByIndex(3), kSuccess);  // while running: at once
  source.GetCurrentResolution(&width, &height);
  EXPECT_EQ(std::make_pair(width, height), std::make_pair(160, 120));
  EXPECT_EQ(source.SetResolutionByIndex(4), 1);
  source.Stop();
  EXPECT_EQ(sim_.Calls("RNX_WMP_Video_SetResolu"), 2);
}

TEST_F(DeviceLibrarySourceTest, ExposureIsTheOnlyCameraControl) {
  CRNXStreamerData source;
  long value = 0;
  long flags = 0;
  EXPECT_EQ(source.GetCameraControl(4, &value, &flags), 1);  // nothing connected yet
  ASSERT_TRUE(OpenAndStart(source));
  EXPECT_EQ(source.GetCameraControl(4, &value, &flags), kSuccess);
  EXPECT_EQ(value, -5);
  EXPECT_EQ(flags, 2);
  PropertyRange range;
  ASSERT_EQ(source.GetCameraControlRange(4, &range), kSuccess);
  EXPECT_EQ(range.minimum, -13);
  EXPECT_EQ(range.maximum, 0);
  EXPECT_EQ(range.defaultValue, -6);
  EXPECT_EQ(source.SetCameraControl(4, -8), kSuccess);
  ASSERT_EQ(source.GetCameraControl(4, &value, &flags), kSuccess);
  EXPECT_EQ(value, -8);
  for (long key : {0L, 3L, 5L, 6L, 7L, -1L}) {
    EXPECT_EQ(source.GetCameraControl(key, &value, &flags), kFail) << key;
    EXPECT_EQ(source.SetCameraControl(key, 1), kFail) << key;
  }
  sim_.Fail("RNX_WMP_Video_GetVideoCtrl", -1);
  EXPECT_EQ(source.GetCameraControl(4, &value, &flags), 1);
  EXPECT_EQ(source.SetCameraControl(4, -3), 1);
}

TEST_F(DeviceLibrarySourceTest, FailingSizeAndControlWritesAreNotReadBack) {
  CRNXStreamerData source;
  ASSERT_TRUE(OpenAndStart(source));
  sim_.Fail("RNX_WMP_Video_SetResolu", -1);
  sim_.Fail("RNX_WMP_Video_SetVideoCtrl", -1);
  sim_.Fail("RNX_WMP_Video_GetResolu", -1);
  EXPECT_EQ(source.SetResolution(640, 480), kSuccess);
  EXPECT_EQ(source.SetCameraControl(4, -2), kSuccess);
  int width = -1;
  int height = -1;
  source.GetCurrentResolution(&width, &height);
  EXPECT_EQ(std::make_pair(width, height), std::make_pair(0, 0));
  EXPECT_TRUE(WaitUntil([&] { return source.GetFrame().cols == 320; }));  // still at the old size
}

TEST_F(DeviceLibrarySourceTest, ASlowLibraryStillStopsAndDisconnects) {
  sim_.Delay("RNX_WMP_Poll", 150);
  sim_.Delay("RNX_WMP_ConnectDevice", 100);
  CRNXStreamerData source;
  ASSERT_TRUE(OpenAndStart(source));
  ASSERT_TRUE(WaitUntil([&] { return !source.GetFrame().empty(); }));
  const auto start = std::chrono::steady_clock::now();
  EXPECT_TRUE(source.Stop());
  EXPECT_LT(std::chrono::steady_clock::now() - start, 2s);
  EXPECT_FALSE(sim_.Connected());
  EXPECT_EQ(sim_.LentRecords(), 0);
}

TEST_F(DeviceLibrarySourceTest, OperationsItDoesNotServeKeepTheDefaults) {
  CRNXStreamerData source;
  ASSERT_TRUE(OpenAndStart(source));
  source.SetRotation(90);
  EXPECT_TRUE(source.GrabStill().empty());
  long value = 0;
  EXPECT_EQ(source.GetProcAmp(4, &value, &value), kFail);
}

}  // namespace
}  // namespace orvane
