#include "camera/virtual_camera.h"

#include <fcntl.h>
#include <linux/videodev2.h>
#include <qrencode.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cerrno>
#include <malloc.h>
#include <functional>
#include <optional>

#include <jpeglib.h>

#include <opencv2/imgproc.hpp>

#include "camera/usb_camera.h"
#include "imaging/image_file.h"
#include "platform/file_io.h"

namespace orvane {

namespace {

constexpr auto kPictureTime = std::chrono::seconds(2);  // each folder picture stays this long
constexpr int kNoiseVariants = 2;  // frames differ in noise, like a real sensor's
constexpr long long kDenoisedPixels = 3'000'000;

const char* const kPageLines[] = {
    "INVOICE  No. 2024-0387",
    "Date: 12 March 2024",
    "Customer: Northfield Library",
    "",
    "1  Archive boxes, grey      12   4.50",
    "2  Document sleeves A4     200   0.15",
    "3  Scanner calibration       1  45.00",
    "",
    "Total due within 30 days:   129.00",
    "Thank you for your order.",
};

void DrawQrCode(cv::Mat& page, const std::string& text, cv::Point at, int moduleSize) {
  QRcode* code = QRcode_encodeString(text.c_str(), 0, QR_ECLEVEL_M, QR_MODE_8, 1);
  if (code == nullptr) return;
  for (int y = 0; y < code->width; ++y) {
    for (int x = 0; x < code->width; ++x) {
      if ((code->data[y * code->width + x] & 1) == 0) continue;
      cv::rectangle(page, cv::Rect(at.x + x * moduleSize, at.y + y * moduleSize, moduleSize, moduleSize),
                    cv::Scalar(20, 20, 20), cv::FILLED);
    }
  }
  QRcode_free(code);
}

std::uint8_t Clamp(int value) { return static_cast<std::uint8_t>(std::clamp(value, 0, 255)); }

// Normal noise for one row, seeded by the row: a band draws its rows the same whichever band it is.
void FillRowNoise(cv::Mat& row, std::uint64_t seed, double sigma) {
  cv::RNG random(seed);
  random.fill(row, cv::RNG::NORMAL, 0, sigma);
}

// Adds the light sensor noise of variant `variant` to rows `first`, `first` + 1, ... of `band`.
void AddSensorNoise(cv::Mat& band, int first, int variant, std::uint64_t kind) {
  cv::Mat noise(1, band.cols, CV_16SC3);
  cv::Mat noisy;
  for (int i = 0; i < band.rows; ++i) {
    const std::uint64_t y = static_cast<std::uint64_t>(first + i);
    FillRowNoise(noise, (kind + static_cast<std::uint64_t>(variant)) * 1'000'003ULL + y, 3);
    cv::Mat row = band.row(i);
    row.convertTo(noisy, CV_16SC3);
    noisy += noise;
    noisy.convertTo(row, CV_8UC3);
  }
}

// A dark wood desk: low-frequency blotches, a faint stripe and fine grain, drawn a row at a time.
class Desk {
 public:
  Desk(int width, int height) : width_(width), height_(height) {
    cv::RNG random(7);
    cv::Mat coarse(24, 32, CV_32F);
    random.fill(coarse, cv::RNG::UNIFORM, -18.0, 18.0);
    // Bicubic across now; down, row by row, with the same weights (OpenCV's, a = -0.75).
    cv::resize(coarse, across_, cv::Size(width, coarse.rows), 0, 0, cv::INTER_CUBIC);
  }

  void Rows(int first, cv::Mat& band) const {
    cv::Mat texture(1, width_, CV_32F);
    cv::Mat grain(1, width_, CV_32F);
    cv::Mat tone;
    for (int i = 0; i < band.rows; ++i) {
      const int y = first + i;
      Blotches(y, texture.ptr<float>());
      FillRowNoise(grain, 7'000'003ULL + static_cast<std::uint64_t>(y), 6.0);
      texture += grain;
      texture += 8.0f * std::sin(y * 0.05f * 640.0f / std::max(width_, 1));
      std::uint8_t* out = band.ptr<std::uint8_t>(i);
      const int offsets[3] = {38, 48, 62};
      for (int c = 0; c < 3; ++c) {
        texture.convertTo(tone, CV_8U, 1.0, offsets[c]);
        const std::uint8_t* value = tone.ptr<std::uint8_t>();
        for (int x = 0; x < width_; ++x) out[3 * x + c] = value[x];
      }
    }
  }

 private:
  void Blotches(int y, float* out) const {
    const double fy = (y + 0.5) * across_.rows / static_cast<double>(height_) - 0.5;
    const int iy = static_cast<int>(std::floor(fy));
    const float t = static_cast<float>(fy - iy);
    constexpr float a = -0.75f;
    float w[4];
    w[0] = ((a * (t + 1) - 5 * a) * (t + 1) + 8 * a) * (t + 1) - 4 * a;
    w[1] = ((a + 2) * t - (a + 3)) * t * t + 1;
    w[2] = ((a + 2) * (1 - t) - (a + 3)) * (1 - t) * (1 - t) + 1;
    w[3] = 1.0f - w[0] - w[1] - w[2];
    std::fill_n(out, width_, 0.0f);
    for (int k = 0; k < 4; ++k) {
      const float* row = across_.ptr<float>(std::clamp(iy - 1 + k, 0, across_.rows - 1));
      for (int x = 0; x < width_; ++x) out[x] += w[k] * row[x];
    }
  }

  int width_;
  int height_;
  cv::Mat across_;
};

// The page scene: an A4 page filling most of the height, printed with text and a QR code, turned
// a little on the desk, with light sensor noise; drawn band by band, so that not even a 13-MP
// frame is ever held whole.
class PageScene {
 public:
  PageScene(int width, int height, int variant) : desk_(width, height), variant_(variant) {
    const int pageHeight = height * 82 / 100;
    const int pageWidth = pageHeight * 210 / 297;
    page_ = cv::Mat(pageHeight, pageWidth, CV_8UC3, cv::Scalar(238, 242, 244));
    const double scale = pageHeight / 900.0;
    int lineY = static_cast<int>(90 * scale);
    for (const char* line : kPageLines) {
      cv::putText(page_, line, cv::Point(static_cast<int>(40 * scale), lineY), cv::FONT_HERSHEY_SIMPLEX, 0.8 * scale,
                  cv::Scalar(25, 25, 25), std::max(1, static_cast<int>(std::lround(2 * scale))), cv::LINE_AA);
      lineY += static_cast<int>(48 * scale);
    }
    DrawQrCode(page_, "ORVANE-DOC-0387", cv::Point(static_cast<int>(40 * scale), lineY + static_cast<int>(20 * scale)),
               std::max(2, static_cast<int>(7 * scale)));
    mask_ = cv::Mat(pageHeight, pageWidth, CV_8U, cv::Scalar(255));
    turn_ = cv::getRotationMatrix2D(cv::Point2f(pageWidth / 2.0f, pageHeight / 2.0f), 4.0, 1.0);
    turn_.at<double>(0, 2) += width / 2.0 - pageWidth / 2.0;
    turn_.at<double>(1, 2) += height / 2.0 - pageHeight / 2.0;
  }

  void Rows(int first, cv::Mat& band) const {
    desk_.Rows(first, band);
    cv::Mat turn = turn_.clone();
    turn.at<double>(1, 2) -= first;
    cv::Mat placed, placedMask;
    cv::warpAffine(page_, placed, turn, band.size(), cv::INTER_LINEAR);
    cv::warpAffine(mask_, placedMask, turn, band.size(), cv::INTER_LINEAR);
    placed.copyTo(band, placedMask > 128);
    AddSensorNoise(band, first, variant_, 1000);
  }

 private:
  Desk desk_;
  int variant_;
  cv::Mat page_;
  cv::Mat mask_;
  cv::Mat turn_;
};

// A person in front of a plain wall, drawn whole (front-facing cameras film small pictures).
cv::Mat PersonWithoutNoise(int width, int height, cv::Scalar tone) {
  cv::Mat scene(height, width, CV_8UC3, tone);
  const double unit = std::min(width, height) / 100.0;
  const cv::Point centre(width / 2, height / 2);
  // Shoulders, neck, face and hair.
  cv::ellipse(scene, centre + cv::Point(0, static_cast<int>(52 * unit)), cv::Size(static_cast<int>(42 * unit), static_cast<int>(28 * unit)),
              0, 180, 360, cv::Scalar(96, 64, 40), cv::FILLED, cv::LINE_AA);
  cv::rectangle(scene, cv::Rect(centre.x - static_cast<int>(6 * unit), centre.y + static_cast<int>(8 * unit),
                                static_cast<int>(12 * unit), static_cast<int>(18 * unit)),
                cv::Scalar(150, 178, 214), cv::FILLED);
  cv::ellipse(scene, centre - cv::Point(0, static_cast<int>(6 * unit)), cv::Size(static_cast<int>(17 * unit), static_cast<int>(22 * unit)),
              0, 0, 360, cv::Scalar(160, 190, 226), cv::FILLED, cv::LINE_AA);
  cv::ellipse(scene, centre - cv::Point(0, static_cast<int>(16 * unit)), cv::Size(static_cast<int>(18 * unit), static_cast<int>(14 * unit)),
              0, 180, 360, cv::Scalar(30, 36, 44), cv::FILLED, cv::LINE_AA);
  for (int side : {-1, 1}) {
    cv::circle(scene, centre + cv::Point(side * static_cast<int>(7 * unit), -static_cast<int>(7 * unit)),
               std::max(1, static_cast<int>(2 * unit)), cv::Scalar(40, 40, 40), cv::FILLED, cv::LINE_AA);
  }
  cv::ellipse(scene, centre + cv::Point(0, static_cast<int>(4 * unit)), cv::Size(static_cast<int>(6 * unit), static_cast<int>(3 * unit)),
              0, 0, 180, cv::Scalar(60, 60, 150), std::max(1, static_cast<int>(unit)), cv::LINE_AA);
  return scene;
}

// Draws rows [first, first + band.rows) of a picture into `band` (8-bit BGR).
using BandSource = std::function<void(int first, cv::Mat& band)>;
using ByteSink = VirtualCamera::ByteSink;

constexpr int kBandRows = 64;

// A picture band after band, smoothed by a camera's noise reduction (a 3 x 3 Gaussian) when asked
// to; the blur sees a row more on each side of a band, so the bands join as in a blur of the whole.
class Bands {
 public:
  Bands(int width, int height, bool denoise, BandSource source)
      : width_(width), height_(height), margin_(denoise ? 1 : 0), source_(std::move(source)),
        drawn_(kBandRows + 2 * margin_, width, CV_8UC3) {}

  // Rows [first, first + count) of the finished picture, count at most kBandRows; valid until the
  // next call.
  const cv::Mat& Band(int first, int count) {
    const int top = std::max(first - margin_, 0);
    const int bottom = std::min(first + count + margin_, height_);
    // A header of its own, so the blur mirrors at the picture's edges rather than reading the
    // rows of an earlier band left below.
    cv::Mat rows(bottom - top, width_, CV_8UC3, drawn_.data);
    source_(top, rows);
    band_ = rows.rowRange(first - top, first - top + count);
    if (margin_ == 0) return band_;
    cv::GaussianBlur(band_, smoothed_, cv::Size(3, 3), 0);
    return smoothed_;
  }

 private:
  int width_;
  int height_;
  int margin_;
  BandSource source_;
  cv::Mat drawn_;
  cv::Mat band_;
  cv::Mat smoothed_;
};

struct JpegErrors {
  jpeg_error_mgr standard;
  std::jmp_buf recovery;
};

void JumpBack(j_common_ptr info) { std::longjmp(reinterpret_cast<JpegErrors*>(info->err)->recovery, 1); }

// A width x height BGR picture encoded at quality 85 with 4:2:2 chroma, as cameras send MJPG, its
// rows taken from `bands` a band at a time. Holds no objects with destructors: libjpeg's errors
// (only a lack of memory here) jump back in.
bool CompressBands(int width, int height, Bands& bands, unsigned char** bytes, unsigned long* size) {
  jpeg_compress_struct info;
  JpegErrors errors;
  info.err = jpeg_std_error(&errors.standard);
  errors.standard.error_exit = JumpBack;
  if (setjmp(errors.recovery)) {
    jpeg_destroy_compress(&info);
    return false;
  }
  jpeg_create_compress(&info);
  jpeg_mem_dest(&info, bytes, size);
  info.image_width = static_cast<JDIMENSION>(width);
  info.image_height = static_cast<JDIMENSION>(height);
  info.input_components = 3;
  info.in_color_space = JCS_EXT_BGR;
  jpeg_set_defaults(&info);
  jpeg_set_quality(&info, 85, TRUE);
  info.comp_info[0].h_samp_factor = 2;
  info.comp_info[0].v_samp_factor = 1;
  jpeg_start_compress(&info, TRUE);
  JSAMPROW rows[kBandRows];
  while (info.next_scanline < info.image_height) {
    const int first = static_cast<int>(info.next_scanline);
    const int count = std::min(kBandRows, height - first);
    const cv::Mat& band = bands.Band(first, count);
    for (int i = 0; i < count; ++i) rows[i] = const_cast<JSAMPROW>(band.ptr<std::uint8_t>(i));
    jpeg_write_scanlines(&info, rows, static_cast<JDIMENSION>(count));
  }
  jpeg_finish_compress(&info);
  jpeg_destroy_compress(&info);
  return true;
}

void AppendYuyv(const cv::Mat& bgr, std::vector<std::uint8_t>& out) {
  for (int y = 0; y < bgr.rows; ++y) {
    const cv::Vec3b* row = bgr.ptr<cv::Vec3b>(y);
    for (int x = 0; x + 1 < bgr.cols; x += 2) {
      int u = 0, v = 0;
      std::uint8_t luma[2];
      for (int k = 0; k < 2; ++k) {
        const int b = row[x + k][0], g = row[x + k][1], r = row[x + k][2];
        luma[k] = Clamp(((66 * r + 129 * g + 25 * b + 128) >> 8) + 16);
        u += ((-38 * r - 74 * g + 112 * b + 128) >> 8) + 128;
        v += ((112 * r - 94 * g - 18 * b + 128) >> 8) + 128;
      }
      out.insert(out.end(), {luma[0], Clamp(u / 2), luma[1], Clamp(v / 2)});
    }
  }
}

// One frame in the camera's format, MJPG or else YUYV, handed to `sink` in pieces in order (a
// YUYV frame a band at a time, so it is never held whole). False when the encoding or the sink
// failed.
bool EncodeFrame(int width, int height, bool denoise, BandSource source, std::uint32_t fourcc, const ByteSink& sink) {
  Bands bands(width, height, denoise, std::move(source));
  if (fourcc == V4L2_PIX_FMT_YUYV) {
    std::vector<std::uint8_t> band;
    band.reserve(static_cast<std::size_t>(width) * kBandRows * 2);
    for (int first = 0; first < height; first += kBandRows) {
      band.clear();
      AppendYuyv(bands.Band(first, std::min(kBandRows, height - first)), band);
      if (!sink(band.data(), band.size())) return false;
    }
    return true;
  }
  unsigned char* bytes = nullptr;
  unsigned long size = 0;
  const bool encoded = CompressBands(width, height, bands, &bytes, &size) && sink(bytes, size);
  std::free(bytes);
  return encoded;
}

ByteSink AppendTo(std::vector<std::uint8_t>& frame) {
  return [&frame](const std::uint8_t* bytes, std::size_t length) {
    frame.insert(frame.end(), bytes, bytes + length);
    return true;
  };
}

// YUYV frames this large are kept in a FrameFile rather than in memory.
constexpr std::size_t kFileFrameBytes = std::size_t{4} << 20;

// Large frames kept outside the process's memory, as a camera keeps its frames outside the
// station's: a temporary file nobody else can open (unlinked at once), read back into the
// camera's buffer for each delivery. The page cache holds the frames, so the two noise variants
// of a 13-MP YUYV stream (52 MB) do not count against the station's own memory.
class FrameFile {
 public:
  FrameFile() {
    std::error_code error;
    const std::filesystem::path folder = std::filesystem::temp_directory_path(error);
    if (error) return;
    descriptor_ = open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    if (descriptor_ >= 0) return;
    // A file system without unnamed files: a named one, unlinked before anything is written.
    std::string name = (folder / "orvane-frames-XXXXXX").string();
    descriptor_ = mkostemp(name.data(), O_CLOEXEC);
    if (descriptor_ >= 0) unlink(name.c_str());
  }
  ~FrameFile() {
    if (descriptor_ >= 0) close(descriptor_);
  }
  FrameFile(const FrameFile&) = delete;
  FrameFile& operator=(const FrameFile&) = delete;

  bool Usable() const { return descriptor_ >= 0; }
  // Gives back the room of frames no longer wanted.
  void Clear() {
    if (descriptor_ >= 0 && ftruncate(descriptor_, 0) != 0) {
      // Only disk space is lost; the frames written next overwrite the old ones.
    }
  }
  bool Write(std::int64_t offset, const std::uint8_t* bytes, std::size_t length) {
    return platform::WriteAllAt(descriptor_, bytes, length, offset);
  }
  bool Read(std::int64_t offset, std::uint8_t* into, std::size_t length) const {
    return platform::ReadAllAt(descriptor_, into, length, offset);
  }

 private:
  int descriptor_ = -1;
};

}  // namespace

std::vector<std::uint8_t> PackDifference(const std::vector<std::uint8_t>& base, const std::vector<std::uint8_t>& frame) {
  if (base.size() != frame.size()) return {};
  std::vector<std::uint8_t> packed((frame.size() + 1) / 2);
  for (std::size_t i = 0; i < frame.size(); ++i) {
    const int difference = static_cast<int>(frame[i]) - static_cast<int>(base[i]);
    if (difference < -8 || difference > 7) return {};
    packed[i / 2] |= static_cast<std::uint8_t>((difference + 8) << (4 * (i % 2)));
  }
  return packed;
}

void UnpackDifference(const std::uint8_t* base, const std::uint8_t* packed, std::uint8_t* into, std::size_t length) {
  // Indexed by pair, so the compiler vectorises it: about what a copy of the frame costs.
  const std::size_t pairs = length / 2;
  for (std::size_t j = 0; j < pairs; ++j) {
    const std::uint8_t pair = packed[j];
    into[2 * j] = static_cast<std::uint8_t>(base[2 * j] + (pair & 15) - 8);
    into[2 * j + 1] = static_cast<std::uint8_t>(base[2 * j + 1] + (pair >> 4) - 8);
  }
  if (length % 2 == 1) into[length - 1] = static_cast<std::uint8_t>(base[length - 1] + (packed[pairs] & 15) - 8);
}

cv::Mat RenderVirtualScene(int width, int height, int variant) {
  cv::Mat scene(height, width, CV_8UC3);
  if (width > 0 && height > 0) PageScene(width, height, variant).Rows(0, scene);
  return scene;
}

cv::Mat RenderVirtualPerson(int width, int height, int variant, cv::Scalar tone) {
  cv::Mat scene = PersonWithoutNoise(width, height, tone);
  AddSensorNoise(scene, 0, variant, 2000);
  return scene;
}

VirtualCameraIdentity VirtualPortraitIdentity() {
  VirtualCameraIdentity identity;
  identity.vendorId = "1E4E";
  identity.productId = "0109";
  identity.sharpnessDefault = 4;
  identity.sizes = {{640, 480}, {1280, 960}, {1600, 1200}};
  identity.stillWidth = 1600;
  identity.stillHeight = 1200;
  identity.devicePath = "virtual:video1";
  identity.card = "Virtual Portrait Camera";
  identity.scene = VirtualScene::kPerson;
  return identity;
}

VirtualCameraIdentity VirtualThirdIdentity() {
  VirtualCameraIdentity identity = VirtualPortraitIdentity();
  identity.productId = "010A";
  identity.sizes = {{640, 480}, {1280, 960}, {2592, 1944}};
  identity.stillWidth = 2592;
  identity.stillHeight = 1944;
  identity.devicePath = "virtual:video2";
  identity.card = "Virtual Third Camera";
  return identity;
}

platform::SimulatedCameraModel VirtualCameraModel(const VirtualCameraIdentity& identity) {
  platform::SimulatedCameraModel model;
  model.card = identity.card;
  model.node.devicePath = identity.devicePath;
  model.node.nodeNumber = identity.devicePath.empty() ? 0 : identity.devicePath.back() - '0';
  model.node.name = model.card;
  model.node.vendorId = identity.vendorId;
  model.node.productId = identity.productId;
  model.node.busPosition = "virtual";
  model.formats = {{V4L2_PIX_FMT_YUYV, identity.sizes, {}}, {V4L2_PIX_FMT_MJPEG, identity.sizes, {}}};
  using Control = platform::SimulatedControl;
  model.controls = {
      Control{V4L2_CID_BRIGHTNESS, "Brightness", V4L2_CTRL_TYPE_INTEGER, -64, 64, 1, 0, {}},
      Control{V4L2_CID_CONTRAST, "Contrast", V4L2_CTRL_TYPE_INTEGER, 0, 95, 1, 32, {}},
      Control{V4L2_CID_SATURATION, "Saturation", V4L2_CTRL_TYPE_INTEGER, 0, 100, 1, 64, {}},
      Control{V4L2_CID_AUTO_WHITE_BALANCE, "White Balance, Automatic", V4L2_CTRL_TYPE_BOOLEAN, 0, 1, 1, 1, {}},
      Control{V4L2_CID_GAMMA, "Gamma", V4L2_CTRL_TYPE_INTEGER, 100, 300, 1, 100, {}},
      Control{V4L2_CID_GAIN, "Gain", V4L2_CTRL_TYPE_INTEGER, identity.gainMinimum, identity.gainMaximum, 1,
              identity.gainDefault, {}},
      Control{V4L2_CID_WHITE_BALANCE_TEMPERATURE, "White Balance Temperature", V4L2_CTRL_TYPE_INTEGER, 2800, 6500, 10,
              4600, {}},
      Control{V4L2_CID_SHARPNESS, "Sharpness", V4L2_CTRL_TYPE_INTEGER, identity.sharpnessMinimum,
              identity.sharpnessMaximum, 1, identity.sharpnessDefault, {}},
      Control{V4L2_CID_BACKLIGHT_COMPENSATION, "Backlight Compensation", V4L2_CTRL_TYPE_INTEGER, 0, 2, 1, 1, {}},
      Control{V4L2_CID_EXPOSURE_AUTO, "Auto Exposure", V4L2_CTRL_TYPE_MENU, 0, 3, 1, V4L2_EXPOSURE_APERTURE_PRIORITY,
              {V4L2_EXPOSURE_MANUAL, V4L2_EXPOSURE_APERTURE_PRIORITY}},
      Control{V4L2_CID_EXPOSURE_ABSOLUTE, "Exposure Time, Absolute", V4L2_CTRL_TYPE_INTEGER, 1, 5000, 1, 156, {}},
      Control{V4L2_CID_FOCUS_ABSOLUTE, "Focus, Absolute", V4L2_CTRL_TYPE_INTEGER, 0, 1023, 1, 68, {}},
      Control{V4L2_CID_FOCUS_AUTO, "Focus, Automatic Continuous", V4L2_CTRL_TYPE_BOOLEAN, 0, 1, 1, 1, {}},
  };
  model.stillPin = true;
  model.stillWidth = identity.stillWidth;
  model.stillHeight = identity.stillHeight;
  return model;
}

VirtualCamera::VirtualCamera(VirtualCameraIdentity identity, std::filesystem::path pictures)
    : identity_(std::move(identity)),
      camera_(std::make_shared<platform::SimulatedV4l2Camera>(VirtualCameraModel(identity_))) {
  std::error_code error;
  if (!pictures.empty()) {
    for (std::filesystem::directory_iterator it(pictures, error), end; !error && it != end; it.increment(error)) {
      std::string extension = it->path().extension().string();
      std::transform(extension.begin(), extension.end(), extension.begin(), [](unsigned char c) { return std::tolower(c); });
      if (extension == ".jpg" || extension == ".jpeg" || extension == ".png" || extension == ".bmp" ||
          extension == ".tif" || extension == ".tiff") {
        pictures_.push_back(it->path());
      }
    }
    std::sort(pictures_.begin(), pictures_.end());
  }
  producer_ = std::thread([this] { Produce(); });
}

VirtualCamera::~VirtualCamera() {
  {
    std::lock_guard guard(lock_);
    stop_ = true;
  }
  wake_.notify_all();
  producer_.join();
}

bool VirtualCamera::Frame(int width, int height, int variant, std::uint32_t fourcc, const ByteSink& sink) {
  const auto rowsOf = [](const cv::Mat& picture) {
    return [&picture](int first, cv::Mat& band) { picture.rowRange(first, first + band.rows).copyTo(band); };
  };
  if (!pictures_.empty()) {
    const cv::Mat loaded = imaging::LoadImageFile(pictures_[static_cast<std::size_t>(pictureIndex_) % pictures_.size()]);
    if (!loaded.empty()) {
      cv::Mat sized;
      cv::resize(loaded, sized, cv::Size(width, height), 0, 0, cv::INTER_AREA);
      return EncodeFrame(width, height, false, rowsOf(sized), fourcc, sink);
    }
  }
  // The camera's own scenes carry sensor noise, which a camera smooths before it sends a frame of
  // its sensor's full size (smaller frames are binned, and their noise averages out as it does).
  const bool denoise = static_cast<long long>(width) * height >= kDenoisedPixels;
  if (identity_.scene == VirtualScene::kPerson) {
    // The two front-facing cameras stand before walls of their own colour.
    const cv::Scalar wall = identity_.productId == "010A" ? cv::Scalar(150, 196, 168) : cv::Scalar(214, 190, 150);
    const cv::Mat person = PersonWithoutNoise(width, height, wall);
    return EncodeFrame(width, height, denoise, [&](int first, cv::Mat& band) {
      rowsOf(person)(first, band);
      AddSensorNoise(band, first, variant, 2000);
    }, fourcc, sink);
  }
  const PageScene scene(width, height, variant);
  return EncodeFrame(width, height, denoise, [&](int first, cv::Mat& band) { scene.Rows(first, band); }, fourcc, sink);
}

std::vector<std::uint8_t> VirtualCamera::Still() {
  std::lock_guard guard(lock_);
  if (still_.empty() || stillPicture_ != pictureIndex_) {
    still_.clear();
    if (!Frame(identity_.stillWidth, identity_.stillHeight, 0, V4L2_PIX_FMT_MJPEG, AppendTo(still_))) still_.clear();
    stillPicture_ = pictureIndex_;
  }
  return still_;
}

void VirtualCamera::PressButton() {
  camera_->DeliverStill(Still(), V4L2_PIX_FMT_MJPEG, identity_.stillWidth, identity_.stillHeight);
}

void VirtualCamera::Produce() {
  Frames frames;
  std::optional<FrameFile> file;  // made for the first large YUYV frame
  int sequence = 0;
  auto pictureSince = std::chrono::steady_clock::now();
  auto next = std::chrono::steady_clock::now();
  std::unique_lock guard(lock_);
  while (!stop_) {
    guard.unlock();
    if (camera_->TakeStillTrigger()) PressButton();
    if (camera_->Streaming()) {
      if (pictures_.size() > 1 && std::chrono::steady_clock::now() - pictureSince >= kPictureTime) {
        std::lock_guard stillGuard(lock_);
        ++pictureIndex_;
        pictureSince = std::chrono::steady_clock::now();
      }
      const v4l2_pix_format format = camera_->CurrentFormat();
      const int width = static_cast<int>(format.width);
      const int height = static_cast<int>(format.height);
      if (frames.fourcc != format.pixelformat || frames.width != width || frames.height != height ||
          frames.picture != pictureIndex_) {
        frames = {format.pixelformat, width, height, pictureIndex_, {}};
        const std::size_t frameBytes = static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 2;
        const bool large = format.pixelformat == V4L2_PIX_FMT_YUYV && frameBytes >= kFileFrameBytes;
        if (large && !file) file.emplace();
        if (file) file->Clear();
        const int variants = pictures_.empty() ? kNoiseVariants : 1;
        for (int variant = 0; variant < variants; ++variant) {
          if (large && file->Usable()) {
            const std::int64_t offset = static_cast<std::int64_t>(frameBytes) * variant;
            std::int64_t end = offset;
            const bool kept = Frame(width, height, variant, format.pixelformat,
                                    [&](const std::uint8_t* bytes, std::size_t length) {
                                      if (!file->Write(end, bytes, length)) return false;
                                      end += static_cast<std::int64_t>(length);
                                      return true;
                                    });
            if (kept && end - offset == static_cast<std::int64_t>(frameBytes)) {
              frames.variants.push_back({{}, false, offset, frameBytes});
              continue;
            }
            // No room for it on disk: this one is kept in memory, as small frames are.
          }
          std::vector<std::uint8_t> drawn;
          if (!Frame(width, height, variant, format.pixelformat, AppendTo(drawn))) drawn.clear();
          if (variant > 0 && format.pixelformat == V4L2_PIX_FMT_YUYV) {
            std::vector<std::uint8_t> packed = PackDifference(frames.variants.front().bytes, drawn);
            if (!packed.empty()) {
              frames.variants.push_back({std::move(packed), true});
              continue;
            }
          }
          frames.variants.push_back({std::move(drawn), false});
        }
        // Drawing a large frame takes tens of megabytes for a moment; give them back at once
        // rather than leave them with this thread's heap.
        malloc_trim(0);
      }
      const KeptFrame& frame = frames.variants[static_cast<std::size_t>(sequence++) % frames.variants.size()];
      if (frame.fileOffset >= 0) {
        camera_->WriteFrame(frame.fileLength, [&](std::uint8_t* into, std::size_t length) {
          // Our own file does not fail to read short of a disk error; the frame then comes black.
          if (!file->Read(frame.fileOffset, into, length)) std::memset(into, 0, length);
        });
      } else if (frame.difference) {
        const std::vector<std::uint8_t>& base = frames.variants.front().bytes;
        camera_->WriteFrame(base.size(), [&](std::uint8_t* into, std::size_t length) {
          UnpackDifference(base.data(), frame.bytes.data(), into, length);
        });
      } else {
        camera_->DeliverFrame(frame.bytes.data(), frame.bytes.size());
      }
    }
    next += std::chrono::milliseconds(1000 / std::max(camera_->FrameRate(), 1));
    const auto now = std::chrono::steady_clock::now();
    if (next < now) next = now;  // a slow first frame does not make the camera race to catch up
    guard.lock();
    wake_.wait_until(guard, next, [this] { return stop_; });
  }
}

namespace {

class VirtualCameraBackend final : public platform::SimulatedV4l2Backend {
 public:
  // The document camera first, then the front-facing ones; `pictures` is the document camera's.
  VirtualCameraBackend(std::filesystem::path pictures, std::vector<VirtualCameraIdentity> frontCameras)
      : pictures_(std::move(pictures)), document_(std::make_unique<VirtualCamera>(VirtualCameraIdentity{}, pictures_)) {
    Add(document_->Camera());
    for (VirtualCameraIdentity& identity : frontCameras) {
      frontCameras_.push_back(std::make_unique<VirtualCamera>(std::move(identity)));
      Add(frontCameras_.back()->Camera());
    }
  }

  // The nodes are listed and opened on the window's thread while a plug changes them on the
  // device-event thread.
  std::vector<platform::VideoNodeInfo> ListNodes() override {
    std::lock_guard guard(lock_);
    return SimulatedV4l2Backend::ListNodes();
  }
  std::unique_ptr<platform::IV4l2Device> OpenNode(const std::string& devicePath, int* error) override {
    std::lock_guard guard(lock_);
    return SimulatedV4l2Backend::OpenNode(devicePath, error);
  }

  // The document camera pulled out, or a new one plugged in: the change as udev would tell it;
  // nothing when it already was out or in.
  std::optional<platform::DeviceChange> PlugDocument(bool in) {
    std::unique_ptr<VirtualCamera> gone;  // its producer is joined once the nodes are free again
    std::lock_guard guard(lock_);
    if (in == (document_ != nullptr)) return std::nullopt;
    if (in) {
      document_ = std::make_unique<VirtualCamera>(VirtualCameraIdentity{}, pictures_);
      Add(document_->Camera());
    } else {
      document_->Camera()->Unplug();
      Remove(document_->Camera());
      gone = std::move(document_);
    }
    const VirtualCameraIdentity identity;
    return platform::DeviceChange{in ? platform::DeviceChange::Action::Arrival : platform::DeviceChange::Action::Removal,
                                  identity.vendorId, identity.productId};
  }

 private:
  std::mutex lock_;
  const std::filesystem::path pictures_;
  std::unique_ptr<VirtualCamera> document_;
  std::vector<std::unique_ptr<VirtualCamera>> frontCameras_;
};

// Lines of the plug FIFO: "out" and "in"; anything else is skipped.
class VirtualPlugEvents final : public platform::IDeviceEventSource {
 public:
  VirtualPlugEvents(std::shared_ptr<VirtualCameraBackend> backend, int descriptor)
      : backend_(std::move(backend)), descriptor_(descriptor) {}
  ~VirtualPlugEvents() override { close(descriptor_); }
  VirtualPlugEvents(const VirtualPlugEvents&) = delete;
  VirtualPlugEvents& operator=(const VirtualPlugEvents&) = delete;

  int Descriptor() override { return descriptor_; }
  std::optional<platform::DeviceChange> Receive() override {
    constexpr std::size_t kLongestLine = 64;
    for (;;) {
      const std::size_t end = pending_.find('\n');
      if (end == std::string::npos) {
        // Whatever the line was, it was no command.
        if (pending_.size() > kLongestLine) pending_.clear();
        char buffer[256];
        const ssize_t got = read(descriptor_, buffer, sizeof buffer);
        if (got <= 0) return std::nullopt;
        pending_.append(buffer, static_cast<std::size_t>(got));
        continue;
      }
      const std::string line = pending_.substr(0, end);
      pending_.erase(0, end + 1);
      if (line != "in" && line != "out") continue;
      if (std::optional<platform::DeviceChange> change = backend_->PlugDocument(line == "in")) return change;
    }
  }

 private:
  const std::shared_ptr<VirtualCameraBackend> backend_;
  const int descriptor_;
  std::string pending_;
};

std::shared_ptr<VirtualCameraBackend> MakeBackend(const std::string& setting) {
  std::error_code error;
  if (std::filesystem::is_directory(setting, error)) {
    return std::make_shared<VirtualCameraBackend>(setting, std::vector<VirtualCameraIdentity>{});
  }
  std::vector<VirtualCameraIdentity> frontCameras;
  bool portrait = false, third = false;
  std::size_t start = 0;
  while (start <= setting.size()) {
    const std::size_t end = std::min(setting.find(',', start), setting.size());
    const std::string word = setting.substr(start, end - start);
    portrait = portrait || word == "portrait";
    third = third || word == "third";
    start = end + 1;
  }
  // The document camera is always there ("1", "document", or beside the front-facing ones).
  if (portrait) frontCameras.push_back(VirtualPortraitIdentity());
  if (third) frontCameras.push_back(VirtualThirdIdentity());
  return std::make_shared<VirtualCameraBackend>(std::filesystem::path(), std::move(frontCameras));
}

// The program's virtual cameras, when ORVANE_VIRTUAL_CAMERA asks for them; made on first use.
const std::shared_ptr<VirtualCameraBackend>& ProgramVirtualBackend() {
  static const std::shared_ptr<VirtualCameraBackend> backend = [] {
    const char* setting = std::getenv("ORVANE_VIRTUAL_CAMERA");
    return setting != nullptr && *setting != '\0' ? MakeBackend(setting) : nullptr;
  }();
  return backend;
}

}  // namespace

std::shared_ptr<platform::IV4l2Backend> MakeVirtualCameraBackend(const std::string& setting) {
  return MakeBackend(setting);
}

std::unique_ptr<platform::IDeviceEventSource> MakeVirtualPlugEvents(const std::shared_ptr<platform::IV4l2Backend>& backend,
                                                                     const std::filesystem::path& control) {
  auto virtualBackend = std::dynamic_pointer_cast<VirtualCameraBackend>(backend);
  if (!virtualBackend) return nullptr;
  // Read and write, so that the FIFO never reads as closed between two writers.
  const int descriptor = open(control.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
  if (descriptor < 0) return nullptr;
  struct stat status {};
  if (fstat(descriptor, &status) != 0 || !S_ISFIFO(status.st_mode)) {
    close(descriptor);
    return nullptr;
  }
  return std::make_unique<VirtualPlugEvents>(std::move(virtualBackend), descriptor);
}

std::unique_ptr<platform::IDeviceEventSource> DefaultDeviceEvents() {
  const char* control = std::getenv("ORVANE_VIRTUAL_PLUG");
  if (control != nullptr && *control != '\0' && ProgramVirtualBackend()) {
    if (auto events = MakeVirtualPlugEvents(ProgramVirtualBackend(), control)) return events;
    std::fprintf(stderr, "The virtual cameras' plug control %s is no FIFO that can be read\n", control);
  }
  return platform::MakeUdevEventSource();
}

std::shared_ptr<platform::IV4l2Backend> DefaultVideoBackend() {
  static const std::shared_ptr<platform::IV4l2Backend> backend = [] {
    if (ProgramVirtualBackend()) return std::shared_ptr<platform::IV4l2Backend>(ProgramVirtualBackend());
    return std::shared_ptr<platform::IV4l2Backend>(platform::MakeLinuxV4l2Backend());
  }();
  return backend;
}

}  // namespace orvane
