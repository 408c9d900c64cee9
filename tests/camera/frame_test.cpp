#include "camera/frame.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <memory>
#include <thread>
#include <vector>

#include <QImage>
#include <gtest/gtest.h>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>
#include <turbojpeg.h>

#include "camera/screen_picture.h"

namespace orvane {
namespace {

std::vector<std::uint8_t> Bytes(int count, std::uint8_t value) { return std::vector<std::uint8_t>(count, value); }

struct Yuy2Case {
  std::uint8_t y, u, v;
  std::uint8_t b, g, r;
};

TEST(ConvertYUY2ToBGR24, MatchesTheIntegerFormula) {
  const Yuy2Case cases[] = {
      {16, 128, 128, 0, 0, 0},        // black
      {235, 128, 128, 255, 255, 255}, // white: 298 x 219 + 128 = 65,390 >> 8 = 255
      {255, 128, 128, 255, 255, 255}, // 278 before clamping
      {0, 128, 128, 0, 0, 0},         // negative before clamping
      {128, 128, 128, 130, 130, 130}, // (298 x 112 + 128) >> 8 = 130
      {81, 90, 240, 0, 0, 255},       // red: R clamps high, B low
      {145, 54, 34, 1, 255, 0},       // green
      {41, 240, 110, 255, 0, 0},      // blue
      {100, 200, 60, 243, 125, 0},    // a negative red sum clamps to 0
  };
  for (const Yuy2Case& c : cases) {
    // Two pixels of one group with the same Y; a second group checks the stride.
    const std::uint8_t source[8] = {c.y, c.u, c.y, c.v, 16, 128, 235, 128};
    std::uint8_t out[12] = {};
    ASSERT_TRUE(ConvertYUY2ToBGR24(source, 8, 2, 2, out));
    const auto expect = [&](int at, int b, int g, int r) {
      EXPECT_EQ(out[at], b) << "Y " << +c.y << " U " << +c.u << " V " << +c.v;
      EXPECT_EQ(out[at + 1], g) << "Y " << +c.y << " U " << +c.u << " V " << +c.v;
      EXPECT_EQ(out[at + 2], r) << "Y " << +c.y << " U " << +c.u << " V " << +c.v;
    };
    expect(0, c.b, c.g, c.r);
    expect(3, c.b, c.g, c.r);
    expect(6, 0, 0, 0);
    expect(9, 255, 255, 255);
  }
}

// Every chroma pair with varied luma, in a picture wide enough for the vector path and with a
// tail for the scalar one, against the formula written out plainly.
TEST(ConvertYUY2ToBGR24, WholePicturesMatchThePlainFormula) {
  // Rows of 259 and 323 groups: 16 at a time plus a tail; the larger picture is shared out in rows
  // over the worker threads, the smaller converted on the calling thread.
  for (const auto& [width, height] : {std::pair{2 * 256 + 6, 256}, std::pair{2 * 320 + 6, 480}}) {
    std::vector<std::uint8_t> source(static_cast<std::size_t>(width) * height * 2);
    for (std::size_t g = 0; g < source.size() / 4; ++g) {
      source[4 * g] = static_cast<std::uint8_t>(g * 7);
      source[4 * g + 1] = static_cast<std::uint8_t>(g);
      source[4 * g + 2] = static_cast<std::uint8_t>(g * 13 + 5);
      source[4 * g + 3] = static_cast<std::uint8_t>(g / 256);
    }
    std::vector<std::uint8_t> out(static_cast<std::size_t>(width) * height * 3);
    ASSERT_TRUE(ConvertYUY2ToBGR24(source.data(), static_cast<int>(source.size()), width, height, out.data()));
    const auto clamp = [](int v) { return v < 0 ? 0 : v > 255 ? 255 : v; };
    for (std::size_t g = 0; g < source.size() / 4; ++g) {
      const int d = source[4 * g + 1] - 128, e = source[4 * g + 3] - 128;
      for (int k = 0; k < 2; ++k) {
        const int c = source[4 * g + 2 * k] - 16;
        const std::uint8_t* pixel = &out[6 * g + 3 * k];
        ASSERT_EQ(pixel[0], clamp((298 * c + 516 * d + 128) >> 8)) << width << " wide, group " << g;
        ASSERT_EQ(pixel[1], clamp((298 * c - 100 * d - 208 * e + 128) >> 8)) << width << " wide, group " << g;
        ASSERT_EQ(pixel[2], clamp((298 * c + 409 * e + 128) >> 8)) << width << " wide, group " << g;
      }
    }
  }
}

TEST(ConvertYUY2ToBGR24, RefusesWrongLengthAndOddPictures) {
  std::vector<std::uint8_t> source = Bytes(640 * 480 * 2, 128);
  std::vector<std::uint8_t> out(640 * 480 * 3, 7);
  EXPECT_TRUE(ConvertYUY2ToBGR24(source.data(), 614400, 640, 480, out.data()));
  EXPECT_FALSE(ConvertYUY2ToBGR24(source.data(), 614399, 640, 480, out.data()));
  EXPECT_FALSE(ConvertYUY2ToBGR24(source.data(), 614402, 640, 480, out.data()));
  // 3 x 3 pixels: 18 bytes matches width x height x 2, but YUY2 carries pixels in pairs.
  std::uint8_t tail[27] = {};
  EXPECT_FALSE(ConvertYUY2ToBGR24(source.data(), 18, 3, 3, tail));
  EXPECT_TRUE(ConvertYUY2ToBGR24(nullptr, 0, 0, 0, nullptr));
}

TEST(CFrameSlot, StoresOnlyWhenNotFilledAndKeepsTheLargestCapacity) {
  CFrameSlot slot;
  EXPECT_EQ(slot.State(), CFrameSlot::kFree);
  const auto big = Bytes(1000, 1);
  const auto small = Bytes(600, 2);
  ASSERT_TRUE(slot.Store(1000, FrameSubtype::MJPG, big.data(), 8, 4));
  EXPECT_EQ(slot.State(), CFrameSlot::kFilled);
  const std::uint8_t* buffer = slot.Data();
  slot.MarkTaken();
  ASSERT_TRUE(slot.Store(600, FrameSubtype::MJPG, small.data(), 8, 4));
  EXPECT_EQ(slot.Capacity(), 1000);
  EXPECT_EQ(slot.Length(), 600);  // a reader takes the current frame, not the old tail
  EXPECT_EQ(slot.Data(), buffer);
  EXPECT_EQ(slot.Data()[0], 2);
  EXPECT_FALSE(slot.Store(-1, FrameSubtype::MJPG, small.data(), 8, 4));
  EXPECT_FALSE(slot.Store(10, FrameSubtype::MJPG, nullptr, 8, 4));
}

TEST(FrameRateGate, LetsFramesThroughNoCloserThanTheRate) {
  FrameRateGate gate;
  EXPECT_TRUE(gate.Admit(5));
  EXPECT_FALSE(gate.Admit(5)) << "a second frame within 200 ms";
  EXPECT_TRUE(gate.Admit(0)) << "no limit";
  EXPECT_TRUE(gate.Admit(-1)) << "no limit";
  std::this_thread::sleep_for(std::chrono::milliseconds(5));
  EXPECT_TRUE(gate.Admit(1000)) << "more than 1 ms after the last one";
}

TEST(CFrameSlot, TakeOverMovesAFilledFrameWithoutCopying) {
  CFrameSlot from, to;
  const auto bytes = Bytes(300, 7);
  auto source = std::make_shared<const std::vector<std::uint8_t>>(Bytes(20, 9));
  from.SetOrigin(2, source);
  ASSERT_TRUE(from.StoreInPlace(300, FrameSubtype::RGB24, 10, 10, [&](std::uint8_t* out) {
    std::copy(bytes.begin(), bytes.end(), out);
    return true;
  }));
  const std::uint8_t* buffer = from.Data();
  ASSERT_TRUE(to.TakeOver(from));
  EXPECT_EQ(to.State(), CFrameSlot::kFilled);
  EXPECT_EQ(from.State(), CFrameSlot::kTaken);
  EXPECT_EQ(to.Data(), buffer);
  EXPECT_EQ(to.Length(), 300);
  EXPECT_EQ(to.Width(), 10);
  EXPECT_EQ(to.Subtype(), FrameSubtype::RGB24);
  EXPECT_EQ(to.Reduction(), 2);
  EXPECT_EQ(to.Source(), source);
  EXPECT_EQ(from.Source(), nullptr);
  // Neither a frame the reader has not taken yet nor an empty slot is moved.
  ASSERT_TRUE(from.Store(300, FrameSubtype::MJPG, bytes.data(), 10, 10));
  EXPECT_FALSE(to.TakeOver(from));
  EXPECT_EQ(from.State(), CFrameSlot::kFilled);
  to.MarkTaken();
  from.MarkTaken();
  EXPECT_FALSE(to.TakeOver(from));
}

// Producer and consumer on one slot: every frame the consumer sees is whole (all its bytes carry
// the same number, and the announced length matches it). Meant for ThreadSanitizer as well.
TEST(CFrameSlot, HandsWholeFramesBetweenThreads) {
  CFrameSlot slot;
  constexpr int kFrames = 3000;
  std::atomic<bool> done{false};
  std::thread producer([&] {
    std::vector<std::uint8_t> frame(256);
    for (int n = 1; n <= kFrames; ++n) {
      const int length = 64 + n % 192;
      std::memset(frame.data(), n & 0xFF, length);
      while (slot.State() == CFrameSlot::kFilled) std::this_thread::yield();
      slot.Store(length, FrameSubtype::MJPG, frame.data(), n, length);
    }
    done = true;
  });
  int seen = 0;
  int last = 0;
  while (!done || slot.State() == CFrameSlot::kFilled) {
    if (slot.State() != CFrameSlot::kFilled) {
      std::this_thread::yield();
      continue;
    }
    const int n = slot.Width();
    ASSERT_GT(n, last);
    ASSERT_EQ(slot.Length(), slot.Height());
    for (int i = 0; i < slot.Length(); ++i) ASSERT_EQ(slot.Data()[i], n & 0xFF);
    last = n;
    ++seen;
    slot.MarkTaken();
  }
  producer.join();
  EXPECT_EQ(seen, kFrames);
}

// A 3 x 2 picture whose pixels are numbered 1..6 in the blue byte.
std::vector<std::uint8_t> Numbered3x2() {
  std::vector<std::uint8_t> pixels(18, 0);
  for (int k = 0; k < 6; ++k) pixels[3 * k] = static_cast<std::uint8_t>(k + 1);
  return pixels;
}

TEST(RotateBGR24, TurnsByQuartersAndRefusesOtherAngles) {
  // 1 2 3
  // 4 5 6
  struct Case {
    int angle;
    bool ok;
    std::vector<int> order;  // blue bytes of the result, row by row
  };
  const Case cases[] = {
      {0, true, {1, 2, 3, 4, 5, 6}},
      {90, true, {4, 1, 5, 2, 6, 3}},    // clockwise: 2 wide, 3 tall
      {180, true, {6, 5, 4, 3, 2, 1}},
      {270, true, {3, 6, 2, 5, 1, 4}},
      {450, true, {4, 1, 5, 2, 6, 3}},
      {-90, false, {}},
      {45, false, {}},
  };
  const auto source = Numbered3x2();
  for (const Case& c : cases) {
    std::vector<std::uint8_t> out(18, 0);
    ASSERT_EQ(RotateBGR24(source.data(), 3, 2, c.angle, out.data()), c.ok) << c.angle;
    if (!c.ok) continue;
    for (int k = 0; k < 6; ++k) EXPECT_EQ(out[3 * k], c.order[k]) << c.angle << " pixel " << k;
  }
}

TEST(CBGR24Data, SetRotatedTurnsTheSizeAndReusesTheArray) {
  qvcam::CBGR24Data data;
  const auto source = Numbered3x2();
  ASSERT_TRUE(data.SetData(3, 2, source.data()));
  const std::uint8_t* array = data.Pixels();
  ASSERT_TRUE(data.SetRotated(90, 3, 2, source.data()));
  int width = 0, height = 0;
  ASSERT_TRUE(data.GetSize(&width, &height));
  EXPECT_EQ(width, 2);
  EXPECT_EQ(height, 3);
  EXPECT_EQ(data.Pixels(), array);
  EXPECT_EQ(data.Pixels()[3], 1);  // the top-left pixel went to the top-right corner
  EXPECT_TRUE(data.SetData(2, 3, source.data()));
  EXPECT_EQ(data.Pixels(), array);
  EXPECT_FALSE(data.SetRotated(-90, 3, 2, source.data()));
  EXPECT_FALSE(qvcam::CBGR24Data().GetSize(&width, &height));
}

TEST(CBGR24Data, CropToMatCopiesInsideRectanglesOnly) {
  qvcam::CBGR24Data data;
  const auto source = Numbered3x2();
  ASSERT_TRUE(data.SetData(3, 2, source.data()));
  const cv::Mat crop = data.CropToMat(1, 0, 3, 2);
  ASSERT_EQ(crop.cols, 2);
  ASSERT_EQ(crop.rows, 2);
  EXPECT_EQ(crop.at<cv::Vec3b>(1, 0)[0], 5);
  EXPECT_NE(crop.data, data.Pixels());
  struct Rect {
    int left, top, right, bottom;
  };
  for (const Rect r : {Rect{0, 0, 4, 2}, Rect{0, 0, 3, 3}, Rect{-1, 0, 3, 2}, Rect{2, 0, 1, 2}, Rect{0, 2, 3, 1}}) {
    EXPECT_TRUE(data.CropToMat(r.left, r.top, r.right, r.bottom).empty())
        << r.left << "," << r.top << "," << r.right << "," << r.bottom;
  }
  EXPECT_EQ(data.ToMat().cols, 3);
}

TEST(RotatePoint, TurnsAboutTheCentre) {
  const cv::RotatedRect rectangle({50.0f, 40.0f}, {10.0f, 10.0f}, 90.0f);
  EXPECT_EQ(RotatePoint(rectangle, 60.0f, 40.0f), cv::Point(50, 50));
}

std::vector<std::uint8_t> Jpeg(int width, int height) {
  cv::Mat picture(height, width, CV_8UC3, cv::Scalar(30, 120, 200));
  std::vector<std::uint8_t> bytes;
  cv::imencode(".jpg", picture, bytes);
  return bytes;
}

TEST(DecodeMJPGToBGR24, DecodesAndRefusesWhatDoesNotFit) {
  const auto jpeg = Jpeg(16, 8);
  std::vector<std::uint8_t> out(16 * 8 * 3);
  int width = 0, height = 0, step = 0;
  ASSERT_TRUE(DecodeMJPGToBGR24(jpeg.data(), static_cast<int>(jpeg.size()), out.data(), out.size(), &width, &height, &step));
  EXPECT_EQ(width, 16);
  EXPECT_EQ(height, 8);
  EXPECT_EQ(step, 48);
  EXPECT_NEAR(out[0], 30, 3);
  EXPECT_NEAR(out[2], 200, 3);
  EXPECT_FALSE(DecodeMJPGToBGR24(jpeg.data(), static_cast<int>(jpeg.size()), out.data(), out.size() - 1, &width, &height, &step));
  const std::uint8_t garbage[64] = {0xFF, 0xD8, 1, 2, 3};
  EXPECT_FALSE(DecodeMJPGToBGR24(garbage, 64, out.data(), out.size(), &width, &height, &step));
}

// A camera that ends a frame early still gives a picture (the rows it left out grey), told apart
// from a whole one; surplus bytes before the end marker, which some cameras send with every
// frame, lose nothing.
TEST(DecodeMJPGToBGR24, TellsAFrameEndedEarlyFromAWholeOne) {
  cv::Mat scene(48, 64, CV_8UC3);
  cv::randu(scene, 0, 256);
  std::vector<std::uint8_t> whole;
  ASSERT_TRUE(cv::imencode(".jpg", scene, whole));
  std::vector<std::uint8_t> half(whole.begin(), whole.begin() + static_cast<long>(whole.size() / 2));
  std::vector<std::uint8_t> padded = whole;
  padded.insert(padded.end() - 2, {0x12, 0x34, 0x56});
  struct Case {
    const char* name;
    const std::vector<std::uint8_t>& bytes;
    int reduction;
    bool damaged;
  };
  const Case cases[] = {
      {"whole", whole, 1, false},
      {"ended halfway", half, 1, true},
      {"ended halfway, decoded at a quarter", half, 4, true},
      {"surplus bytes before the end marker", padded, 1, false},
  };
  for (const Case& c : cases) {
    std::vector<std::uint8_t> out(64 * 48 * 3);
    int width = 0, height = 0, step = 0;
    bool damaged = !c.damaged;
    ASSERT_TRUE(DecodeMJPGToBGR24(c.bytes.data(), static_cast<int>(c.bytes.size()), out.data(), out.size(), &width,
                                  &height, &step, c.reduction, &damaged))
        << c.name;
    EXPECT_EQ(damaged, c.damaged) << c.name;
    bool converted = !c.damaged;
    ASSERT_TRUE(ConvertToBGR24(FrameSubtype::MJPG, c.bytes.data(), static_cast<int>(c.bytes.size()), 64, 48,
                               c.reduction, out.data(), out.size(), &converted))
        << c.name;
    EXPECT_EQ(converted, c.damaged) << c.name;
  }
}

// Rows handed on as a band converter reports them, into a picture of their own: rows reported
// before they were final would differ from the converted picture.
struct BandWatcher {
  const std::vector<std::uint8_t>* out = nullptr;
  std::size_t rowBytes = 0;
  std::vector<std::uint8_t> seen;
  int rows = 0;
  bool inOrder = true;
  RowsDone Callback() {
    seen.assign(out->size(), 0);
    return [this](int done) {
      inOrder = inOrder && done > rows;
      std::copy(out->begin() + static_cast<long>(rows * rowBytes), out->begin() + static_cast<long>(done * rowBytes),
                seen.begin() + static_cast<long>(rows * rowBytes));
      rows = done;
    };
  }
};

// The scanline decoder in bands gives the turbo decoder's pixels and its verdict on rows left
// out, at every scale, for the layouts cameras send and grey pictures.
TEST(DecodeMJPGInBands, GivesTheTurboDecodersPixelsAndVerdict) {
  cv::Mat scene(120, 161, CV_8UC3);
  cv::randu(scene, 0, 256);
  cv::GaussianBlur(scene, scene, cv::Size(5, 5), 0);
  const auto encode = [&](const cv::Mat& picture, int sampling) {
    tjhandle compressor = tjInitCompress();
    unsigned char* bytes = nullptr;
    unsigned long size = 0;
    tjCompress2(compressor, picture.data, picture.cols, static_cast<int>(picture.step), picture.rows,
                picture.channels() == 1 ? TJPF_GRAY : TJPF_BGR, &bytes, &size, sampling, 85, 0);
    std::vector<std::uint8_t> jpeg(bytes, bytes + size);
    tjFree(bytes);
    tjDestroy(compressor);
    return jpeg;
  };
  cv::Mat grey;
  cv::cvtColor(scene, grey, cv::COLOR_BGR2GRAY);
  const auto halfOf = [](std::vector<std::uint8_t> jpeg) {
    jpeg.resize(jpeg.size() / 2);
    return jpeg;
  };
  auto padded = encode(scene, TJSAMP_422);
  padded.insert(padded.end() - 2, {0x12, 0x34, 0x56});
  const struct {
    const char* name;
    std::vector<std::uint8_t> jpeg;
  } cases[] = {
      {"4:2:0", encode(scene, TJSAMP_420)},
      {"4:2:2", encode(scene, TJSAMP_422)},
      {"grey", encode(grey, TJSAMP_GRAY)},
      {"ended halfway", halfOf(encode(scene, TJSAMP_422))},
      {"surplus bytes before the end marker", padded},
  };
  for (const auto& c : cases) {
    for (int reduction : {1, 2, 4, 8}) {
      const int w = (161 + reduction - 1) / reduction, h = (120 + reduction - 1) / reduction;
      std::vector<std::uint8_t> expected(static_cast<std::size_t>(w) * h * 3), out(expected.size());
      int width = 0, height = 0, step = 0;
      bool expectedDamage = false, damaged = false;
      ASSERT_TRUE(DecodeMJPGToBGR24(c.jpeg.data(), static_cast<int>(c.jpeg.size()), expected.data(), expected.size(),
                                    &width, &height, &step, reduction, &expectedDamage));
      BandWatcher watcher{&out, static_cast<std::size_t>(w) * 3, {}, 0, true};
      ASSERT_TRUE(DecodeMJPGInBands(c.jpeg.data(), static_cast<int>(c.jpeg.size()), out.data(), out.size(), reduction,
                                    watcher.Callback(), &damaged))
          << c.name << " at 1/" << reduction;
      EXPECT_TRUE(out == expected) << c.name << " at 1/" << reduction;
      EXPECT_EQ(damaged, expectedDamage) << c.name << " at 1/" << reduction;
      EXPECT_TRUE(watcher.inOrder && watcher.rows == h && watcher.seen == out) << c.name << " at 1/" << reduction;
      EXPECT_FALSE(DecodeMJPGInBands(c.jpeg.data(), static_cast<int>(c.jpeg.size()), out.data(), out.size() - 1,
                                     reduction, [](int) {}))
          << c.name << ": a picture that does not fit";
    }
  }
  const std::uint8_t garbage[64] = {0xFF, 0xD8, 1, 2, 3};
  std::vector<std::uint8_t> out(161 * 120 * 3);
  EXPECT_FALSE(DecodeMJPGInBands(garbage, 64, out.data(), out.size(), 1, [](int) {}));
}

// Converted at a fraction of each side, a YUY2 frame is the conversion shrunk as the screen
// shrinks, to the bit; at full size it is the conversion itself.
TEST(ConvertYUY2InBands, GivesTheConversionShrunkByArea) {
  const int width = 96, height = 40;
  std::vector<std::uint8_t> yuy2(static_cast<std::size_t>(width) * height * 2);
  cv::Mat bytes(1, static_cast<int>(yuy2.size()), CV_8UC1, yuy2.data());
  cv::randu(bytes, 0, 256);
  cv::Mat full(height, width, CV_8UC3);
  ASSERT_TRUE(ConvertYUY2ToBGR24(yuy2.data(), static_cast<int>(yuy2.size()), width, height, full.data));
  for (int reduction : {1, 2, 4}) {
    cv::Mat expected = full;
    if (reduction > 1) ShrinkByAreaAverage(full, expected, {width / reduction, height / reduction});
    std::vector<std::uint8_t> out(static_cast<std::size_t>(expected.total()) * 3);
    BandWatcher watcher{&out, static_cast<std::size_t>(expected.cols) * 3, {}, 0, true};
    ASSERT_TRUE(ConvertYUY2InBands(yuy2.data(), static_cast<int>(yuy2.size()), width, height, reduction, out.data(),
                                   out.size(), watcher.Callback()))
        << reduction;
    const cv::Mat converted(expected.size(), CV_8UC3, out.data());
    EXPECT_EQ(cv::norm(converted, expected, cv::NORM_INF), 0) << "at 1/" << reduction;
    EXPECT_TRUE(watcher.inOrder && watcher.rows == expected.rows && watcher.seen == out) << "at 1/" << reduction;
  }
  std::vector<std::uint8_t> out(static_cast<std::size_t>(width) * height * 3);
  EXPECT_FALSE(ConvertYUY2InBands(yuy2.data(), static_cast<int>(yuy2.size()) - 2, width, height, 1, out.data(),
                                  out.size(), [](int) {}));
  EXPECT_FALSE(ConvertYUY2InBands(yuy2.data(), static_cast<int>(yuy2.size()), width, height, 4, out.data(),
                                  out.size() / 16 - 1, [](int) {}));
}

// A frame cut inside its header is refused without spoiling the decoder for the frames after it.
TEST(ReadMJPGSize, AFrameCutInsideItsHeaderLeavesTheNextWhole) {
  const auto whole = Jpeg(64, 48);
  const std::vector<std::uint8_t> cut(whole.begin(), whole.begin() + static_cast<long>(whole.size() / 2));
  int width = 0, height = 0;
  ASSERT_FALSE(ReadMJPGSize(cut.data(), static_cast<int>(cut.size()), &width, &height));
  for (int i = 0; i < 2; ++i) {
    ASSERT_TRUE(ReadMJPGSize(whole.data(), static_cast<int>(whole.size()), &width, &height)) << i;
    EXPECT_EQ(width, 64);
    EXPECT_EQ(height, 48);
  }
}

TEST(FrameConverter, ConvertsByKindAndAlwaysFreesTheRawSlot) {
  struct Case {
    const char* name;
    FrameSubtype subtype;
    std::vector<std::uint8_t> bytes;
    int width, height;
    bool converts;
  };
  const Case cases[] = {
      {"YUY2", FrameSubtype::YUY2, Bytes(16 * 8 * 2, 128), 16, 8, true},
      {"YUY2 short", FrameSubtype::YUY2, Bytes(16 * 8 * 2 - 2, 128), 16, 8, false},
      {"MJPG", FrameSubtype::MJPG, Jpeg(16, 8), 16, 8, true},
      {"MJPG of another size", FrameSubtype::MJPG, Jpeg(32, 8), 16, 8, false},
      {"MJPG broken", FrameSubtype::MJPG, Bytes(100, 0), 16, 8, false},
      {"RGB24", FrameSubtype::RGB24, Bytes(16 * 8 * 3, 9), 16, 8, true},
      {"unknown", FrameSubtype::None, Bytes(16, 0), 16, 8, false},
  };
  for (const Case& c : cases) {
    CFrameSlot raw;
    CFrameSlot converted;
    FrameConverter converter;
    raw.Store(static_cast<int>(c.bytes.size()), c.subtype, c.bytes.data(), c.width, c.height);
    EXPECT_EQ(converter.Convert(raw, converted), c.converts) << c.name;
    EXPECT_EQ(raw.State(), CFrameSlot::kTaken) << c.name;
    EXPECT_EQ(converted.State(), c.converts ? CFrameSlot::kFilled : CFrameSlot::kFree) << c.name;
    if (c.converts) {
      EXPECT_EQ(converted.Length(), c.width * c.height * 3) << c.name;
    }
  }
}

// The second camera's picture goes into kept pictures (picture in picture): a frame the camera
// ended early gives none, and the whole one after it does.
TEST(FrameConverter, PassesOverAFrameTheCameraEndedEarly) {
  cv::Mat scene(48, 64, CV_8UC3);
  cv::randu(scene, 0, 256);
  std::vector<std::uint8_t> whole;
  ASSERT_TRUE(cv::imencode(".jpg", scene, whole));
  const std::vector<std::uint8_t> half(whole.begin(), whole.begin() + static_cast<long>(whole.size() / 2));
  for (int reduction : {1, 4}) {
    CFrameSlot raw, converted;
    FrameConverter converter;
    converter.SetReduction(reduction);
    raw.Store(static_cast<int>(half.size()), FrameSubtype::MJPG, half.data(), 64, 48);
    EXPECT_FALSE(converter.Convert(raw, converted)) << reduction;
    EXPECT_EQ(raw.State(), CFrameSlot::kTaken) << reduction;
    EXPECT_EQ(converted.State(), CFrameSlot::kFree) << reduction;
    raw.Store(static_cast<int>(whole.size()), FrameSubtype::MJPG, whole.data(), 64, 48);
    EXPECT_TRUE(converter.Convert(raw, converted)) << reduction;
  }
}

TEST(FrameConverter, DecodesMjpgReducedWhereTheFactorDividesBothSides) {
  struct Case {
    int width, height, reduction;
    int expectedReduction;
  };
  const Case cases[] = {{64, 48, 2, 2}, {64, 48, 4, 4}, {64, 48, 1, 1}, {66, 48, 4, 1}, {64, 48, 3, 1}};
  for (const Case& c : cases) {
    cv::Mat picture(c.height, c.width, CV_8UC3);
    cv::randu(picture, 0, 256);
    std::vector<std::uint8_t> jpeg;
    cv::imencode(".jpg", picture, jpeg);
    CFrameSlot raw, converted;
    FrameConverter converter;
    converter.SetReduction(c.reduction);
    raw.Store(static_cast<int>(jpeg.size()), FrameSubtype::MJPG, jpeg.data(), c.width, c.height);
    ASSERT_TRUE(converter.Convert(raw, converted)) << c.width << " / " << c.reduction;
    EXPECT_EQ(converted.Reduction(), c.expectedReduction);
    EXPECT_EQ(converted.Width(), c.width / c.expectedReduction);
    EXPECT_EQ(converted.Height(), c.height / c.expectedReduction);
    EXPECT_EQ(converted.Length(), converted.Width() * converted.Height() * 3);
    if (c.expectedReduction > 1) {
      // The compressed frame travels along, byte for byte, for a full-resolution decode later.
      ASSERT_TRUE(converted.Source());
      EXPECT_EQ(*converted.Source(), jpeg);
    } else {
      EXPECT_FALSE(converted.Source());
    }
  }
}

TEST(FrameConverter, WaitsWhileTheConvertedFrameIsNotTaken) {
  CFrameSlot raw, converted;
  FrameConverter converter;
  const auto yuy2 = Bytes(4 * 2 * 2, 128);
  raw.Store(16, FrameSubtype::YUY2, yuy2.data(), 4, 2);
  ASSERT_TRUE(converter.Convert(raw, converted));
  raw.Store(16, FrameSubtype::YUY2, yuy2.data(), 4, 2);
  EXPECT_FALSE(converter.Convert(raw, converted));
  EXPECT_EQ(raw.State(), CFrameSlot::kFilled);  // the raw frame waits; the grabber drops newer ones
}

TEST(FrameConverter, FlipsBottomUpRgb24) {
  CFrameSlot raw, converted;
  FrameConverter converter;
  std::vector<std::uint8_t> rows = {1, 1, 1, 2, 2, 2};  // 1 x 2, bottom row first
  raw.Store(6, FrameSubtype::RGB24, rows.data(), 1, 2);
  ASSERT_TRUE(converter.Convert(raw, converted));
  EXPECT_EQ(converted.Data()[0], 2);
  EXPECT_EQ(converted.Data()[3], 1);
}

TEST(ImageCopies, RoundTripHonoursThePitch) {
  cv::Mat picture(3, 5, CV_8UC3);  // 15 bytes a row: the image pads its rows to 16
  cv::randu(picture, 0, 255);
  QImage image;
  CopyMatToImage(picture, image);
  cv::Mat back;
  CopyImageToMat(image, back);
  EXPECT_EQ(cv::norm(picture, back, cv::NORM_INF), 0.0);
}

TEST(TextConversion, GbkRoundTrip) {
  const std::string text = "\xE6\x96\x87\xE6\xA1\xA3";  // two Chinese characters in UTF-8
  const std::string gbk = WideStringToAnsi(text);
  EXPECT_EQ(gbk.size(), 4u);
  EXPECT_EQ(AnsiToWide(gbk), text);
}

}  // namespace
}  // namespace orvane
