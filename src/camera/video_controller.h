// One camera as the main window sees it: its video source, the display that shows it, an optional
// second source shown picture-in-picture, in the order of steps the main window relies on.
// Thread-bound: every operation runs on the GUI thread.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <opencv2/core.hpp>

#include "camera/overlays.h"
#include "camera/show_video.h"
#include "camera/video_recorder.h"
#include "camera/video_source.h"
#include "platform/messages.h"

class QWidget;

namespace orvane {

inline constexpr int kSourceDeviceLibrary = 2;

// Type 2 makes the device-library source, every other type the USB camera source.
std::unique_ptr<CVideoBaseClass> CreateVideoSource(int type);

class CVideoController {
 public:
  // Where sources and displays come from; tests put fakes behind the real interfaces.
  struct Factories {
    std::function<std::unique_ptr<CVideoBaseClass>(int type)> source = CreateVideoSource;
    std::function<std::unique_ptr<CShowVideoPro>()> display = [] { return std::make_unique<CShowVideoThread>(); };
    std::function<std::unique_ptr<CVideoRecorder>()> recorder = [] { return std::make_unique<CVideoRecorder>(); };
  };

  CVideoController() = default;
  explicit CVideoController(Factories factories) : factories_(std::move(factories)) {}
  ~CVideoController() { CloseAll(); }
  CVideoController(const CVideoController&) = delete;
  CVideoController& operator=(const CVideoController&) = delete;

  void Init(bool threadedDisplay, int sourceType);
  // A temporary source of the controller's type answers; the controller is left as it was.
  int ProbeDevice(const std::string& id1, const std::string& id2);

  // Opens the main source, then replaces the display by a new one in `parent` at the rectangle.
  // `parentTarget` receives the source's notifications and the display's double clicks. A failed
  // open deletes only the main source and returns its error.
  int OpenAndShow(QWidget* parent, platform::TargetHandle parentTarget, const std::string& id1,
                  const std::string& id2, const std::string& id3, int left, int top, int right, int bottom,
                  bool stillPin, int deviceIndex);
  int OpenSecondary(const std::string& id1, const std::string& id2, const IntRect& box);
  void CloseSecondary();
  bool Start();
  bool Stop();
  void CloseAll();
  // Records the display's shown picture. E_POINTER without a display; a recording already
  // running is stopped first; when the recorder cannot start, the display's recording flag is
  // cleared again and the recorder's error returned.
  int StartRecording(const std::filesystem::path& file, int width, int height, int fps, int bitrate);
  // E_POINTER without a recording; otherwise the recorder's result once the file is finished.
  int StopRecording();
  // The running recording ended on a failed write; StopRecording then keeps what came before.
  bool RecordingFailed() const { return recorder_ && recorder_->Failed(); }
  // The running recording takes sound from a capture device.
  bool RecordingHasSound() const { return recorder_ && recorder_->HasSound(); }
  // The file the last stopped recording was kept in; empty when none was.
  const std::filesystem::path& RecordedFile() const { return recorded_; }

  void SetDisplayRect(int left, int top, int right, int bottom) { rect_ = {left, top, right, bottom}; }
  void MoveDisplay();
  cv::Mat GetPicture();
  // The rotation GetPicture's picture is turned by, which trails SetRotation by the frames under
  // way; any thread.
  int ShownRotation() const;
  std::vector<cv::Mat> GetCroppedPictures();
  cv::Mat GetShownPicture();
  bool GetTrackRect(IntRect* rect);
  bool ShowDisplay(bool show);
  bool SetTrimMargins(int left, int top, int right, int bottom);

  int SetCameraControl(long property, long value);
  int GetCameraControl(long property, long* value, long* flags);
  int GetCameraControlRange(long property, PropertyRange* range);
  int SetResolution(int width, int height);
  void GetCurrentResolution(int* width, int* height);
  bool GetDeviceFormatList(const std::string& id1, const std::string& id2, int deviceIndex, std::vector<int>* formats);
  void SetFormatMode(int mode);
  bool HasStillPin(const std::string& id1, const std::string& id2, int deviceIndex);
  cv::Mat GrabStill();
  void ShowFormatPage(QWidget* parent, int language);
  void ShowDevicePage(QWidget* parent, int language);

  // A multiple of 90, normalised into 0..270 (-90 is 270); other angles are ignored.
  void SetRotation(int angle);
  void SetAutoCrop(bool on, bool multiDocument, float minimumAreaRatio);
  bool IsAutoCrop() const { return autoCrop_; }
  platform::MessageResult EnableTrackRect(bool on);

  CShowVideoPro* Display() { return display_.get(); }
  CVideoBaseClass* MainSource() { return main_.get(); }
  CVideoBaseClass* SecondarySource() { return secondary_.get(); }

 private:
  CVideoBaseClass& EnsureMainSource();

  Factories factories_;
  bool threadedDisplay_ = false;
  int sourceType_ = 0;
  IntRect rect_;
  std::unique_ptr<CShowVideoPro> display_;
  std::unique_ptr<CVideoBaseClass> main_;
  std::unique_ptr<CVideoBaseClass> secondary_;
  // The display seen as the recorder's picture source; declared before the recorder, which
  // reads it until it is stopped.
  std::unique_ptr<IPictureSource> recordingSource_;
  std::unique_ptr<CVideoRecorder> recorder_;
  std::filesystem::path recorded_;
  QWidget* parent_ = nullptr;
  platform::TargetHandle parentTarget_;
  bool autoCrop_ = false;
};

}  // namespace orvane
