// The display window interface the controller and the capture commands use, and its threaded
// implementation: a display core on its own thread behind a thin view widget.
#pragma once

#include <memory>
#include <vector>

#include <opencv2/core.hpp>

#include "camera/overlays.h"
#include "platform/messages.h"

class QWidget;

namespace orvane {

class CDisplayCore;
class CDisplayView;
class CFrameSlot;

class IShowHWnd {
 public:
  virtual ~IShowHWnd() = default;
  // The display's widget (null until created); the controller moves it.
  virtual QWidget* GetHWnd() const = 0;
};

// Thread-safety: GUI-thread operations, except GetRecordingPicture and the getters, which any
// thread may call.
class CShowVideoPro : public IShowHWnd {
 public:
  // `rect` in the parent's client coordinates; double clicks are posted to `notify`.
  virtual bool Create(QWidget* parent, const IntRect& rect, platform::TargetHandle notify) = 0;
  virtual void ApplyMargins(IntRect& rect) const = 0;
  virtual bool SetRotation(int angle) = 0;
  virtual bool SetTrimMargins(int left, int top, int right, int bottom) = 0;
  virtual void SetAutoCrop(bool on, bool multiDocument, float minimumAreaRatio) = 0;
  virtual platform::MessageResult EnableTrackRect(bool on) = 0;
  virtual bool GetTrackRect(IntRect* rect) = 0;
  virtual bool Show(bool show) = 0;
  virtual cv::Mat GetPicture() = 0;
  // The rotation the current picture was turned by: it trails SetRotation by the frames under way.
  virtual int ShownRotation() const = 0;
  virtual std::vector<cv::Mat> GetCroppedPictures() = 0;
  virtual bool CreateSubImageBox(const IntRect& rect) = 0;
  virtual void DeleteSubImageBox() = 0;
  virtual bool GetRecordingPicture(cv::Mat* picture) = 0;
  // For a recording of `recordedSize`: see IPictureSource::GetRecordingPictureAt.
  virtual bool GetRecordingPictureAt(cv::Mat* picture, cv::Size /*recordedSize*/) {
    return GetRecordingPicture(picture);
  }
  virtual cv::Mat GetShownPicture() = 0;

  // The camera's sinks (0 main, 1 secondary) and the controller's switches.
  virtual CFrameSlot* RawSlot(int index) = 0;
  virtual void SetRecording(bool on) = 0;
  virtual bool IsRecording() const = 0;
  virtual void SetFrameRateLimit(int framesPerSecond) = 0;
};

class CShowVideoThread : public CShowVideoPro {
 public:
  CShowVideoThread();
  ~CShowVideoThread() override;  // stops the core, then removes the widget

  QWidget* GetHWnd() const override;
  bool Create(QWidget* parent, const IntRect& rect, platform::TargetHandle notify) override;
  void ApplyMargins(IntRect& rect) const override;
  bool SetRotation(int angle) override;
  bool SetTrimMargins(int left, int top, int right, int bottom) override;
  void SetAutoCrop(bool on, bool multiDocument, float minimumAreaRatio) override;
  platform::MessageResult EnableTrackRect(bool on) override;
  bool GetTrackRect(IntRect* rect) override;
  bool Show(bool show) override;
  cv::Mat GetPicture() override;
  int ShownRotation() const override;
  std::vector<cv::Mat> GetCroppedPictures() override;
  bool CreateSubImageBox(const IntRect& rect) override;
  void DeleteSubImageBox() override;
  bool GetRecordingPicture(cv::Mat* picture) override;
  bool GetRecordingPictureAt(cv::Mat* picture, cv::Size recordedSize) override;
  cv::Mat GetShownPicture() override;
  CFrameSlot* RawSlot(int index) override;
  void SetRecording(bool on) override;
  bool IsRecording() const override;
  void SetFrameRateLimit(int framesPerSecond) override;

  CDisplayCore& Core() { return *core_; }

 private:
  std::unique_ptr<CDisplayCore> core_;
  std::unique_ptr<CDisplayView> view_;
};

}  // namespace orvane
