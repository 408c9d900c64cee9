#include "camera/show_video.h"

#include <string>

#include <QCoreApplication>
#include <QThread>

#include "camera/display_core.h"
#include "camera/display_view.h"
#include "camera/video_source.h"
#include "platform/user_notice.h"

namespace orvane {

namespace {

// No frame came whole in time: a capture gets nothing, and the user is told as for a still. Only
// the GUI thread tells (the page watch and the orientation check ask from threads of their own,
// and an empty picture is all they need).
void TellWhenLate(bool late) {
  const QCoreApplication* application = QCoreApplication::instance();
  if (late && application != nullptr && QThread::currentThread() == application->thread()) NoticeTimeOut();
}

}  // namespace

CShowVideoThread::CShowVideoThread() : core_(std::make_unique<CDisplayCore>()) {}

CShowVideoThread::~CShowVideoThread() {
  // No frame-ready call may reach the view once it is gone.
  core_->Stop();
  view_.reset();
}

QWidget* CShowVideoThread::GetHWnd() const { return view_.get(); }

bool CShowVideoThread::Create(QWidget* parent, const IntRect& rect, platform::TargetHandle notify) {
  core_->Stop();
  view_.reset();
  auto view = std::make_unique<CDisplayView>(core_.get(), parent);
  CDisplayView* viewPointer = view.get();
  core_->SetFrameReadyHandler([viewPointer] { viewPointer->OnFrameReady(); });
  if (!core_->Start(notify)) {
    core_->SetFrameReadyHandler({});
    platform::ShowUserNotice(
        {"创建视频预览窗口失败，错误码：" + std::to_string(core_->LastError()), "", platform::NoticeIcon::kError});
    return false;
  }
  view_ = std::move(view);
  view_->setGeometry(rect.left, rect.top, rect.Width(), rect.Height());
  core_->PostResize({rect.Width(), rect.Height()});
  view_->show();
  return true;
}

void CShowVideoThread::ApplyMargins(IntRect& rect) const { core_->ApplyMargins(rect); }
bool CShowVideoThread::SetRotation(int angle) { return core_->SetRotation(angle); }
int CShowVideoThread::ShownRotation() const { return core_->ShownRotation(); }
bool CShowVideoThread::SetTrimMargins(int left, int top, int right, int bottom) {
  return core_->SetTrimMargins(left, top, right, bottom);
}
void CShowVideoThread::SetAutoCrop(bool on, bool multiDocument, float minimumAreaRatio) {
  core_->SetAutoCrop(on, multiDocument, minimumAreaRatio);
}
platform::MessageResult CShowVideoThread::EnableTrackRect(bool on) { return core_->EnableTrackRect(on); }
bool CShowVideoThread::GetTrackRect(IntRect* rect) { return core_->GetTrackRect(rect); }

bool CShowVideoThread::Show(bool show) {
  if (view_) view_->setVisible(show);
  return true;
}

cv::Mat CShowVideoThread::GetPicture() {
  bool late = false;
  cv::Mat picture = core_->GetPicture(&late);
  TellWhenLate(late);
  return picture;
}
std::vector<cv::Mat> CShowVideoThread::GetCroppedPictures() {
  bool late = false;
  std::vector<cv::Mat> pictures = core_->GetCroppedPictures(&late);
  TellWhenLate(late);
  return pictures;
}
bool CShowVideoThread::CreateSubImageBox(const IntRect& rect) { return core_->CreateSubImageBox(rect); }
void CShowVideoThread::DeleteSubImageBox() { core_->DeleteSubImageBox(); }
bool CShowVideoThread::GetRecordingPicture(cv::Mat* picture) { return core_->GetRecordingPicture(picture); }
bool CShowVideoThread::GetRecordingPictureAt(cv::Mat* picture, cv::Size recordedSize) {
  return core_->GetRecordingPictureAt(picture, recordedSize);
}
cv::Mat CShowVideoThread::GetShownPicture() {
  bool late = false;
  cv::Mat picture = core_->GetShownPicture(&late);
  TellWhenLate(late);
  return picture;
}
CFrameSlot* CShowVideoThread::RawSlot(int index) { return core_->RawSlot(index); }
void CShowVideoThread::SetRecording(bool on) { core_->SetRecording(on); }
bool CShowVideoThread::IsRecording() const { return core_->IsRecording(); }
void CShowVideoThread::SetFrameRateLimit(int framesPerSecond) { core_->SetFrameRateLimit(framesPerSecond); }

}  // namespace orvane
