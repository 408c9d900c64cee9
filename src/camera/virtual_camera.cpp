#include "camera/virtual_camera.h"

#include <linux/videodev2.h>
#include <qrencode.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include "camera/usb_camera.h"

namespace orvane {

namespace {

constexpr auto kPictureTime = std::chrono::seconds(2);  // each folder picture stays this long
constexpr int kNoiseVariants = 2;  // frames differ in noise, like a real sensor's

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

cv::Mat Desk(int width, int height) {
  // Low-frequency blotches and fine grain on a dark wood tone.
  cv::RNG random(7);
  cv::Mat coarse(24, 32, CV_32F);
  random.fill(coarse, cv::RNG::UNIFORM, -18.0, 18.0);
  cv::Mat blotches;
  cv::resize(coarse, blotches, cv::Size(width, height), 0, 0, cv::INTER_CUBIC);
  cv::Mat grain(height, width, CV_32F);
  random.fill(grain, cv::RNG::NORMAL, 0.0, 6.0);
  cv::Mat texture = blotches + grain;
  for (int y = 0; y < height; ++y) {
    float* row = texture.ptr<float>(y);
    const float stripe = 8.0f * std::sin(y * 0.05f * 640.0f / std::max(width, 1));
    for (int x = 0; x < width; ++x) row[x] += stripe;
  }
  cv::Mat channels[3];
  texture.convertTo(channels[0], CV_8U, 1.0, 38);
  texture.convertTo(channels[1], CV_8U, 1.0, 48);
  texture.convertTo(channels[2], CV_8U, 1.0, 62);
  cv::Mat desk;
  cv::merge(channels, 3, desk);
  return desk;
}

// Light sensor noise, the same for the same seed.
void AddSensorNoise(cv::Mat& scene, int seed) {
  cv::Mat noise(scene.size(), CV_16SC3);
  cv::RNG random(static_cast<std::uint64_t>(seed));
  random.fill(noise, cv::RNG::NORMAL, 0, 3);
  cv::Mat noisy;
  scene.convertTo(noisy, CV_16SC3);
  noisy += noise;
  noisy.convertTo(scene, CV_8UC3);
}

std::uint8_t Clamp(int value) { return static_cast<std::uint8_t>(std::clamp(value, 0, 255)); }

std::vector<std::uint8_t> ToYuyv(const cv::Mat& bgr) {
  std::vector<std::uint8_t> out(static_cast<std::size_t>(bgr.cols) * bgr.rows * 2);
  std::size_t at = 0;
  for (int y = 0; y < bgr.rows; ++y) {
    const cv::Vec3b* row = bgr.ptr<cv::Vec3b>(y);
    for (int x = 0; x + 1 < bgr.cols; x += 2) {
      int u = 0, v = 0;
      for (int k = 0; k < 2; ++k) {
        const int b = row[x + k][0], g = row[x + k][1], r = row[x + k][2];
        out[at + 2 * k] = Clamp(((66 * r + 129 * g + 25 * b + 128) >> 8) + 16);
        u += ((-38 * r - 74 * g + 112 * b + 128) >> 8) + 128;
        v += ((112 * r - 94 * g - 18 * b + 128) >> 8) + 128;
      }
      out[at + 1] = Clamp(u / 2);
      out[at + 3] = Clamp(v / 2);
      at += 4;
    }
  }
  return out;
}

}  // namespace

cv::Mat RenderVirtualScene(int width, int height, int variant) {
  cv::Mat scene = Desk(width, height);
  // An A4 page filling most of the height, drawn upright and then turned onto the desk.
  const int pageHeight = height * 82 / 100;
  const int pageWidth = pageHeight * 210 / 297;
  cv::Mat page(pageHeight, pageWidth, CV_8UC3, cv::Scalar(238, 242, 244));
  const double scale = pageHeight / 900.0;
  int lineY = static_cast<int>(90 * scale);
  for (const char* line : kPageLines) {
    cv::putText(page, line, cv::Point(static_cast<int>(40 * scale), lineY), cv::FONT_HERSHEY_SIMPLEX, 0.8 * scale,
                cv::Scalar(25, 25, 25), std::max(1, static_cast<int>(std::lround(2 * scale))), cv::LINE_AA);
    lineY += static_cast<int>(48 * scale);
  }
  DrawQrCode(page, "ORVANE-DOC-0387", cv::Point(static_cast<int>(40 * scale), lineY + static_cast<int>(20 * scale)),
             std::max(2, static_cast<int>(7 * scale)));
  const cv::Point2f centre(width / 2.0f, height / 2.0f);
  cv::Mat turn = cv::getRotationMatrix2D(cv::Point2f(pageWidth / 2.0f, pageHeight / 2.0f), 4.0, 1.0);
  turn.at<double>(0, 2) += centre.x - pageWidth / 2.0;
  turn.at<double>(1, 2) += centre.y - pageHeight / 2.0;
  cv::Mat mask(pageHeight, pageWidth, CV_8U, cv::Scalar(255));
  cv::Mat placed, placedMask;
  cv::warpAffine(page, placed, turn, scene.size(), cv::INTER_LINEAR);
  cv::warpAffine(mask, placedMask, turn, scene.size(), cv::INTER_LINEAR);
  placed.copyTo(scene, placedMask > 128);
  AddSensorNoise(scene, 1000 + variant);
  return scene;
}

cv::Mat RenderVirtualPerson(int width, int height, int variant, cv::Scalar tone) {
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
  AddSensorNoise(scene, 2000 + variant);
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

cv::Mat VirtualCamera::Picture(int width, int height, int variant) {
  if (!pictures_.empty()) {
    const cv::Mat loaded = cv::imread(pictures_[static_cast<std::size_t>(pictureIndex_) % pictures_.size()].string(),
                                      cv::IMREAD_COLOR);
    if (!loaded.empty()) {
      cv::Mat sized;
      cv::resize(loaded, sized, cv::Size(width, height), 0, 0, cv::INTER_AREA);
      return sized;
    }
  }
  if (identity_.scene == VirtualScene::kPerson) {
    // The two front-facing cameras stand before walls of their own colour.
    const cv::Scalar wall = identity_.productId == "010A" ? cv::Scalar(150, 196, 168) : cv::Scalar(214, 190, 150);
    return RenderVirtualPerson(width, height, variant, wall);
  }
  return RenderVirtualScene(width, height, variant);
}

std::vector<std::uint8_t> VirtualCamera::Encode(const cv::Mat& picture, std::uint32_t fourcc) const {
  if (fourcc == V4L2_PIX_FMT_YUYV) return ToYuyv(picture);
  std::vector<std::uint8_t> jpeg;
  cv::imencode(".jpg", picture, jpeg, {cv::IMWRITE_JPEG_QUALITY, 85});
  return jpeg;
}

std::vector<std::uint8_t> VirtualCamera::Still() {
  std::lock_guard guard(lock_);
  if (still_.empty() || stillPicture_ != pictureIndex_) {
    still_ = Encode(Picture(identity_.stillWidth, identity_.stillHeight, 0), V4L2_PIX_FMT_MJPEG);
    stillPicture_ = pictureIndex_;
  }
  return still_;
}

void VirtualCamera::PressButton() {
  camera_->DeliverStill(Still(), V4L2_PIX_FMT_MJPEG, identity_.stillWidth, identity_.stillHeight);
}

void VirtualCamera::Produce() {
  Frames frames;
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
        const int variants = pictures_.empty() ? kNoiseVariants : 1;
        for (int variant = 0; variant < variants; ++variant) {
          frames.variants.push_back(Encode(Picture(width, height, variant), format.pixelformat));
        }
      }
      const auto& frame = frames.variants[static_cast<std::size_t>(sequence++) % frames.variants.size()];
      camera_->DeliverFrame(frame.data(), frame.size());
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
  explicit VirtualCameraBackend(std::vector<std::unique_ptr<VirtualCamera>> cameras) : cameras_(std::move(cameras)) {
    for (const auto& camera : cameras_) Add(camera->Camera());
  }

 private:
  std::vector<std::unique_ptr<VirtualCamera>> cameras_;
};

}  // namespace

std::shared_ptr<platform::IV4l2Backend> MakeVirtualCameraBackend(const std::string& setting) {
  std::vector<std::unique_ptr<VirtualCamera>> cameras;
  std::error_code error;
  if (std::filesystem::is_directory(setting, error)) {
    cameras.push_back(std::make_unique<VirtualCamera>(VirtualCameraIdentity{}, setting));
  } else {
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
    cameras.push_back(std::make_unique<VirtualCamera>(VirtualCameraIdentity{}));
    if (portrait) cameras.push_back(std::make_unique<VirtualCamera>(VirtualPortraitIdentity()));
    if (third) cameras.push_back(std::make_unique<VirtualCamera>(VirtualThirdIdentity()));
  }
  return std::make_shared<VirtualCameraBackend>(std::move(cameras));
}

std::shared_ptr<platform::IV4l2Backend> DefaultVideoBackend() {
  static const std::shared_ptr<platform::IV4l2Backend> backend = [] {
    const char* setting = std::getenv("ORVANE_VIRTUAL_CAMERA");
    if (setting != nullptr && *setting != '\0') return MakeVirtualCameraBackend(setting);
    return std::shared_ptr<platform::IV4l2Backend>(platform::MakeLinuxV4l2Backend());
  }();
  return backend;
}

}  // namespace orvane
