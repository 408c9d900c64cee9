#include "platform/audio_capture.h"

#include <algorithm>

#include <gtest/gtest.h>

namespace orvane::platform {
namespace {

// ALSA's "null" device exists wherever ALSA's configuration does and captures silence.
TEST(AlsaCaptureTest, NullDeviceGivesWholeFramesOfSilence) {
  std::string error;
  auto capture = CAlsaCapture::Open("null", &error);
  ASSERT_NE(capture, nullptr) << error;
  EXPECT_EQ(capture->SampleRate(), 44100);
  EXPECT_EQ(capture->Channels(), 2);
  std::vector<std::int16_t> samples{7};  // what was there stays in front
  for (int i = 0; i < 5 && samples.size() < 2; ++i) ASSERT_TRUE(capture->Read(&samples, 100));
  ASSERT_GT(samples.size(), 1u);
  EXPECT_EQ(samples.front(), 7);
  EXPECT_EQ((samples.size() - 1) % 2, 0u);
  EXPECT_TRUE(std::all_of(samples.begin() + 1, samples.end(), [](std::int16_t s) { return s == 0; }));
}

TEST(AlsaCaptureTest, AMissingDeviceIsReportedByName) {
  std::string error;
  EXPECT_EQ(CAlsaCapture::Open("plughw:99,0", &error), nullptr);
  EXPECT_NE(error.find("plughw:99,0"), std::string::npos) << error;
}

}  // namespace
}  // namespace orvane::platform
