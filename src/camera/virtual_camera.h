// The virtual camera: a simulated V4L2 camera that presents itself as one of the document camera
// models and films a built-in scene (a printed page with text and a QR code, turned a little on
// a dark desk) or the pictures of a folder in turn. Chosen by ORVANE_VIRTUAL_CAMERA. Its frames
// are drawn and encoded band by band, so even a 13-MP frame is never held whole, and cost what a
// camera's cost to decode: full-size frames are smoothed as a camera's noise reduction does, and
// MJPG frames are 4:2:2 at quality 85 (about 1.2 MB at 4160 x 3120).
#pragma once

#include <condition_variable>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <opencv2/core.hpp>

#include "platform/hotplug_monitor.h"
#include "platform/simulated_v4l2.h"

namespace orvane {

// What the camera films when it has no pictures of its own: a page on a desk, or a person (the
// front-facing portrait camera and the third camera).
enum class VirtualScene { kPage, kPerson };

// Which model the camera claims to be, as discovery reads it back: ids, the sharpness range
// that gives the model code, the gain range, the sizes offered and the still pin's size.
struct VirtualCameraIdentity {
  std::string vendorId = "3C4D";
  std::string productId = "B514";
  int sharpnessMinimum = 0;
  int sharpnessMaximum = 15;
  int sharpnessDefault = 10;
  int gainMinimum = 0;
  int gainMaximum = 100;
  int gainDefault = 32;
  std::vector<std::pair<int, int>> sizes = {{640, 480},   {1280, 720},  {1600, 1200},
                                            {2592, 1944}, {3264, 2448}, {4160, 3120}};
  int stillWidth = 4160;
  int stillHeight = 3120;
  // Several virtual cameras stand beside each other under their own nodes.
  std::string devicePath = "virtual:video0";
  std::string card = "Virtual Document Camera";
  VirtualScene scene = VirtualScene::kPage;
};

// The front-facing cameras the station knows, as a virtual camera presents them.
VirtualCameraIdentity VirtualPortraitIdentity();
VirtualCameraIdentity VirtualThirdIdentity();

// The scene as a BGR picture of the given size; `variant` picks the sensor noise.
cv::Mat RenderVirtualScene(int width, int height, int variant);
// A person in front of a plain wall, in the wall's `tone` (BGR).
cv::Mat RenderVirtualPerson(int width, int height, int variant, cv::Scalar tone);

// `frame` as its differences from `base`, four bits each (two a byte, the first in the low half):
// noise variants of one smoothed scene differ by a few levels at most. Empty when the lengths
// differ or a difference falls outside -8..7.
std::vector<std::uint8_t> PackDifference(const std::vector<std::uint8_t>& base, const std::vector<std::uint8_t>& frame);
// The first `length` bytes of the frame PackDifference packed against `base`, written into `into`.
void UnpackDifference(const std::uint8_t* base, const std::uint8_t* packed, std::uint8_t* into, std::size_t length);

class VirtualCamera {
 public:
  // `pictures`: a folder whose pictures are shown in turn; empty for the built-in scene.
  explicit VirtualCamera(VirtualCameraIdentity identity = {}, std::filesystem::path pictures = {});
  ~VirtualCamera();  // stops and joins the frame producer
  VirtualCamera(const VirtualCamera&) = delete;
  VirtualCamera& operator=(const VirtualCamera&) = delete;

  const std::shared_ptr<platform::SimulatedV4l2Camera>& Camera() const { return camera_; }
  // Takes the next `length` bytes of an encoded frame; false when they could not be kept.
  using ByteSink = std::function<bool(const std::uint8_t* bytes, std::size_t length)>;
  // The camera's own snapshot button: a still nobody asked for.
  void PressButton();

 private:
  // A frame as kept between deliveries: its bytes, or for a later YUYV noise variant its
  // differences from the first variant, four bits each (half a 13-MP frame's 24.8 MB); or, for a
  // large YUYV frame, where it lies in the frame file (see FrameFile in the source).
  struct KeptFrame {
    std::vector<std::uint8_t> bytes;
    bool difference = false;
    std::int64_t fileOffset = -1;
    std::size_t fileLength = 0;
  };
  struct Frames {
    std::uint32_t fourcc = 0;
    int width = 0;
    int height = 0;
    int picture = -1;
    std::vector<KeptFrame> variants;
  };
  void Produce();
  // One frame of the current picture in `fourcc` (MJPG or YUYV), drawn and encoded band by band
  // into `sink`; false when that failed.
  bool Frame(int width, int height, int variant, std::uint32_t fourcc, const ByteSink& sink);
  std::vector<std::uint8_t> Still();

  VirtualCameraIdentity identity_;
  std::vector<std::filesystem::path> pictures_;
  int pictureIndex_ = 0;
  std::shared_ptr<platform::SimulatedV4l2Camera> camera_;
  std::mutex lock_;  // the still cache and the stop flag
  std::condition_variable wake_;
  bool stop_ = false;
  std::vector<std::uint8_t> still_;
  int stillPicture_ = -1;
  std::thread producer_;
};

// The model description the virtual camera's device answers with.
platform::SimulatedCameraModel VirtualCameraModel(const VirtualCameraIdentity& identity);

// A backend holding the virtual cameras that `setting`, the value of ORVANE_VIRTUAL_CAMERA, asks
// for: a folder of pictures for the document camera; or a comma-separated list of "document",
// "portrait" and "third"; anything else is the document camera with its built-in scene.
std::shared_ptr<platform::IV4l2Backend> MakeVirtualCameraBackend(const std::string& setting);

// The plug control of a backend MakeVirtualCameraBackend made: device events read from the FIFO
// `control`, whose lines "out" and "in" pull the virtual document camera out and plug a new one in
// (a camera already out or in is left as it is). Null when `backend` is no such backend or
// `control` is no FIFO that can be read.
std::unique_ptr<platform::IDeviceEventSource> MakeVirtualPlugEvents(const std::shared_ptr<platform::IV4l2Backend>& backend,
                                                                     const std::filesystem::path& control);

}  // namespace orvane
