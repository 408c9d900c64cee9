#include "camera/display_core.h"

#include <algorithm>
#include <cerrno>
#include <future>
#include <system_error>
#include <string>

#include <opencv2/imgproc.hpp>

#include "camera/picture_container.h"
#include "camera/screen_picture.h"
#include "camera/video_source.h"
#include "imaging/jpeg_file.h"
#include "imaging/page_detection.h"
#include "platform/diagnostics.h"

namespace orvane {

namespace ids = platform::message_ids;

namespace {

// Messages only the display's own parts exchange.
constexpr platform::MessageId kResize = ids::kUserBase + 0x90;      // payload: cv::Size
constexpr platform::MessageId kMouse = ids::kUserBase + 0x91;       // payload: MouseInput
constexpr platform::MessageId kClearPages = ids::kUserBase + 0x92;  // live detection went off
constexpr platform::MessageId kGetRecipe = ids::kUserBase + 0x93;   // lParam: PictureRecipe*
// lParam: cv::Mat*, the inset drawn in; wParam: the picture's reduction.
constexpr platform::MessageId kComposeBox = ids::kUserBase + 0x94;

// kGetPicture's answer while the current frame has rows missing.
constexpr platform::MessageResult kFrameDamaged = 2;

constexpr auto kPollInterval = std::chrono::milliseconds(5);
// How long a worker that is woken for its work sleeps at most without it (a bound, not a poll).
constexpr auto kIdleWait = std::chrono::milliseconds(100);
constexpr auto kSlowStop = std::chrono::milliseconds(3000);
constexpr double kPi = 3.141592653589793;

template <class T>
T* Pointer(platform::LParam lParam) {
  return reinterpret_cast<T*>(lParam);
}

template <class T>
platform::LParam ToLParam(T* pointer) {
  return reinterpret_cast<platform::LParam>(pointer);
}

// Joins a thread and logs when that took longer than the display ever expects.
void JoinAndWarn(std::jthread& thread, const char* name) {
  if (!thread.joinable()) return;
  const auto started = std::chrono::steady_clock::now();
  thread.join();
  if (std::chrono::steady_clock::now() - started > kSlowStop)
    platform::DebugOutput(std::string("display: the ") + name + " took more than 3 s to stop");
}

}  // namespace

namespace {

// A camera frame's picture, cut to `trim` and turned by `rotation`, at 1/`reduction` of each side
// (see DecodeTrimmedAndTurned).
cv::Mat PictureOf(FrameSubtype subtype, const std::uint8_t* bytes, int length, int width, int height, const IntRect& trim,
                  int rotation, cv::Mat reuse, int reduction) {
  if (!imaging::WithinPictureCeiling(width, height)) return {};
  const IntRect& t = trim;
  if (t.left < 0 || t.top < 0 || t.right > width || t.bottom > height || t.Width() <= 0 || t.Height() <= 0) return {};
  const int r = reduction;
  if (MjpgReduction(r, width, height) != r || t.left % r != 0 || t.top % r != 0 || t.right % r != 0 ||
      t.bottom % r != 0)
    return {};
  // Untrimmed and unturned, the converted frame is the picture (a 39 MB copy saved per picture).
  const bool whole = rotation == 0 && t.left == 0 && t.top == 0 && t.right == width && t.bottom == height;
  const cv::Size convertedSize(width / r, height / r);
  const bool reusable = whole && reuse.size() == convertedSize && reuse.type() == CV_8UC3 && reuse.isContinuous();
  try {
    cv::Mat converted = reusable ? reuse : cv::Mat(convertedSize, CV_8UC3);
    const std::size_t capacity = converted.total() * 3;
    const bool done = subtype == FrameSubtype::YUY2 && r > 1
                          ? ConvertYUY2InBands(bytes, length, width, height, r, converted.data, capacity, [](int) {})
                          : ConvertToBGR24(subtype, bytes, length, width, height, r, converted.data, capacity);
    if (!done) return {};
    if (whole) return converted;
    TurnPicture(converted(cv::Rect(t.left / r, t.top / r, t.Width() / r, t.Height() / r)), reuse, rotation);
    return reuse;
  } catch (const cv::Exception&) {  // no memory for the picture: none is shown or handed out
    return {};
  }
}

}  // namespace

cv::Mat DecodeTrimmedAndTurned(const std::vector<std::uint8_t>& jpeg, const IntRect& trim, int rotation,
                               cv::Mat reuse, int reduction) {
  const int length = static_cast<int>(jpeg.size());
  int width = 0, height = 0;
  if (!ReadMJPGSize(jpeg.data(), length, &width, &height)) return {};
  return PictureOf(FrameSubtype::MJPG, jpeg.data(), length, width, height, trim, rotation, std::move(reuse), reduction);
}

cv::Mat PictureOfRawFrame(const RawFrame& frame, const IntRect& trim, int rotation, cv::Mat reuse, int reduction) {
  int width = frame.width, height = frame.height;
  // A compressed frame is as large as its header says.
  if (frame.subtype == FrameSubtype::MJPG && !ReadMJPGSize(frame.bytes.get(), frame.length, &width, &height)) return {};
  return PictureOf(frame.subtype, frame.bytes.get(), frame.length, width, height, trim, rotation, std::move(reuse),
                   reduction);
}

cv::Mat CPicturePool::Take(cv::Size size) {
  {
    std::lock_guard lock(mutex_);
    // The buffer given back last: the most of it is still in the caches.
    const auto kept = std::find_if(kept_.rbegin(), kept_.rend(), [&](const cv::Mat& m) { return m.size() == size; });
    if (kept != kept_.rend()) {
      cv::Mat picture = std::move(*kept);
      kept_.erase(std::next(kept).base());
      return picture;
    }
    // Buffers of another size belong to a view that has changed: let one go for every new one.
    if (!kept_.empty()) kept_.erase(kept_.begin());
  }
  try {
    return cv::Mat(size, type_);
  } catch (const cv::Exception&) {
    return {};
  }
}

void CPicturePool::Give(cv::Mat picture) {
  if (picture.empty() || picture.type() != type_ || !picture.isContinuous()) return;
  std::lock_guard lock(mutex_);
  if (kept_.size() < kKept) kept_.push_back(std::move(picture));
}

struct CRawFramePool::Kept {
  static constexpr std::size_t kKept = 1;
  std::mutex mutex;
  std::vector<std::unique_ptr<RawFrame>> frames;
  int held = 0;  // frames shared and not let go yet

  // A kept frame, or none; the caller holds `mutex`.
  std::unique_ptr<RawFrame> Pop() {
    if (frames.empty()) return nullptr;
    std::unique_ptr<RawFrame> frame = std::move(frames.back());
    frames.pop_back();
    return frame;
  }
};

CRawFramePool::CRawFramePool() : kept_(std::make_shared<Kept>()) {}

std::unique_ptr<RawFrame> CRawFramePool::Take() {
  {
    std::lock_guard lock(kept_->mutex);
    if (std::unique_ptr<RawFrame> frame = kept_->Pop()) return frame;
  }
  return std::make_unique<RawFrame>();
}

std::unique_ptr<RawFrame> CRawFramePool::TakeSpare() {
  std::lock_guard lock(kept_->mutex);
  if (std::unique_ptr<RawFrame> frame = kept_->Pop()) return frame;
  return kept_->held == 0 ? std::make_unique<RawFrame>() : nullptr;
}

SharedRawFrame CRawFramePool::Share(std::unique_ptr<RawFrame> frame) {
  {
    std::lock_guard lock(kept_->mutex);
    ++kept_->held;
  }
  std::weak_ptr<Kept> pool = kept_;
  return SharedRawFrame(frame.release(), [pool](const RawFrame* released) {
    std::unique_ptr<RawFrame> owned(const_cast<RawFrame*>(released));
    const std::shared_ptr<Kept> kept = pool.lock();
    if (!kept) return;
    std::lock_guard lock(kept->mutex);
    --kept->held;
    if (owned->bytes && kept->frames.size() < Kept::kKept) kept->frames.push_back(std::move(owned));
  });
}

// Quarter turns in cache-sized tiles, in one pass (a transpose followed by a flip reads and writes
// the 39 MB frame twice, with the transpose's writes striding across the whole picture).
void TurnPicture(const cv::Mat& source, cv::Mat& destination, int angle) {
  if (angle == 180) {
    cv::flip(source, destination, -1);
    return;
  }
  if (angle != 90 && angle != 270) {
    source.copyTo(destination);
    return;
  }
  const int w = source.cols;
  const int h = source.rows;
  destination.create(w, h, CV_8UC3);
  constexpr int kTile = 64;
  for (int y0 = 0; y0 < h; y0 += kTile) {
    const int y1 = std::min(y0 + kTile, h);
    for (int x0 = 0; x0 < w; x0 += kTile) {
      const int x1 = std::min(x0 + kTile, w);
      for (int y = y0; y < y1; ++y) {
        const cv::Vec3b* from = source.ptr<cv::Vec3b>(y);
        if (angle == 90) {
          // Clockwise: column x, row y goes to column h - 1 - y, row x.
          for (int x = x0; x < x1; ++x) destination.ptr<cv::Vec3b>(x)[h - 1 - y] = from[x];
        } else {
          // Counter-clockwise: column x, row y goes to column y, row w - 1 - x.
          for (int x = x0; x < x1; ++x) destination.ptr<cv::Vec3b>(w - 1 - x)[y] = from[x];
        }
      }
    }
  }
}

CDisplayCore::CDisplayCore() = default;

CDisplayCore::~CDisplayCore() { Stop(); }

bool CDisplayCore::Start(platform::TargetHandle parent) {
  if (IsRunning()) return true;
  Stop();
  stopEvent_.Reset();
  parent_ = parent;
  lastError_ = 0;
  std::promise<bool> ready;
  std::future<bool> started = ready.get_future();
  const auto run = [this, &ready](std::stop_token stop) {
    container_ = std::make_unique<CObjectContainer>();
    container_->SetDoubleClickHandler([this] { platform::Post(parent_, ids::kPictureDoubleClick); });
    const platform::TargetHandle target =
        platform::CreateTarget([this](const platform::Message& message) { return Handle(message); }, "ShowVideoWindow");
    target_.store(target);
    ready.set_value(static_cast<bool>(target));
    if (target) platform::RunMessageLoop(stop);
    target_.store({});
    platform::DestroyTarget(target);
    container_.reset();
  };
  try {
    coreThread_ = std::jthread(run);
  } catch (const std::system_error& error) {
    lastError_ = error.code().value();
    return false;
  }
  // A display thread that never comes up must not leave the caller waiting for ever.
  if (started.wait_for(kSlowStop) != std::future_status::ready || !started.get()) {
    lastError_ = ETIMEDOUT;
    coreThread_.request_stop();
    coreThread_.join();
    return false;
  }
  try {
    displayWorker_ = std::jthread([this](std::stop_token stop) { DisplayLoop(stop); });
    for (int worker = 0; worker < kConversionWorkers; ++worker)
      conversionWorkers_[worker] = std::jthread([this, worker](std::stop_token stop) { ConversionLoop(stop, worker); });
  } catch (const std::system_error& error) {
    lastError_ = error.code().value();
    Stop();
    return false;
  }
  return true;
}

void CDisplayCore::Stop() {
  stopEvent_.Set();
  convertedReady_.Set();
  convertedTaken_.Set();
  firstWorkerTook_.Set();
  // The stop tokens also cancel a send a worker is blocked in.
  displayWorker_.request_stop();
  for (std::jthread& worker : conversionWorkers_) worker.request_stop();
  JoinAndWarn(displayWorker_, "display worker");
  for (std::jthread& worker : conversionWorkers_) JoinAndWarn(worker, "conversion worker");
  coreThread_.request_stop();
  JoinAndWarn(coreThread_, "display thread");
}

platform::MessageResult CDisplayCore::Send(platform::MessageId id, platform::WParam wParam, platform::LParam lParam) {
  const std::optional<platform::MessageResult> result = platform::TrySend(Target(), id, wParam, lParam);
  return result.value_or(1);
}

void CDisplayCore::ApplyMargins(IntRect& rect) const {
  int m[4];
  {
    std::lock_guard lock(marginsMutex_);
    std::copy(std::begin(margins_), std::end(margins_), m);
  }
  for (int margin : m)
    if (margin < 0) return;
  const IntRect trimmed{rect.left + m[0], rect.top + m[1], rect.right - m[2], rect.bottom - m[3]};
  if (trimmed.left < trimmed.right && trimmed.top < trimmed.bottom) rect = trimmed;
}

bool CDisplayCore::SetTrimMargins(int left, int top, int right, int bottom) {
  const auto round4 = [](int m) { return static_cast<int>(m * 0.25 + 0.5) * 4; };
  std::lock_guard lock(marginsMutex_);
  margins_[0] = round4(left);
  margins_[1] = round4(top);
  margins_[2] = round4(right);
  margins_[3] = round4(bottom);
  return true;
}

bool CDisplayCore::SetRotation(int angle) {
  if (angle % 90 != 0 || !IsRunning()) return false;
  const int normalised = ((angle % 360) + 360) % 360;
  if (normalised != rotation_.load()) Send(ids::kDisplaySettings, ids::kSettingRotation, normalised);
  return true;
}

void CDisplayCore::SetAutoCrop(bool on, bool multiDocument, float minimumAreaRatio) {
  if (on) {
    minimumAreaRatio_.store(minimumAreaRatio);
    multiDocument_.store(multiDocument);
    liveDetection_.store(true);
    Send(ids::kDeleteOverlay, ids::kOverlaySelection, 0);
  } else {
    liveDetection_.store(false);
    Send(kClearPages, 0, 0);
  }
}

platform::MessageResult CDisplayCore::EnableTrackRect(bool on) {
  if (on) {
    liveDetection_.store(false);
    return Send(ids::kCreateOverlay, ids::kOverlaySelection, 0);
  }
  return Send(ids::kDeleteOverlay, ids::kOverlaySelection, 0);
}

bool CDisplayCore::GetTrackRect(IntRect* rect) { return Send(ids::kGetTrackRect, 0, ToLParam(rect)) == 0; }

bool CDisplayCore::CreateSubImageBox(const IntRect& rect) {
  IntRect copy = rect;
  return Send(ids::kCreateOverlay, ids::kOverlaySubImageBox, ToLParam(&copy)) == 0;
}

void CDisplayCore::DeleteSubImageBox() { Send(ids::kDeleteOverlay, ids::kOverlaySubImageBox, 0); }

namespace {

// The coarsest reduction of a compressed frame whose trimmed and turned picture, letterboxed into
// `recorded`, still has a frame pixel for every recorded pixel.
// A YUY2 frame is converted whole, as it always was: its recording keeps its pixels.
int RecordingReduction(const RawFrame& frame, const IntRect& trim, int rotation, cv::Size recorded) {
  int width = 0, height = 0;
  if (frame.subtype != FrameSubtype::MJPG || recorded.width <= 0 || recorded.height <= 0 || trim.Width() <= 0 ||
      trim.Height() <= 0 || !ReadMJPGSize(frame.bytes.get(), frame.length, &width, &height))
    return 1;
  const bool quarter = rotation == 90 || rotation == 270;
  const double pictureWidth = quarter ? trim.Height() : trim.Width();
  const double pictureHeight = quarter ? trim.Width() : trim.Height();
  const double scale = std::min(recorded.width / pictureWidth, recorded.height / pictureHeight);
  for (int r : {4, 2}) {
    const bool fits = r * scale <= 1.0 && MjpgReduction(r, width, height) == r && trim.left % r == 0 &&
                      trim.top % r == 0 && trim.right % r == 0 && trim.bottom % r == 0;
    if (fits) return r;
  }
  return 1;
}

// The clean picture of an outlined one, from what the outlines covered (saved in drawing order).
cv::Mat WithoutOutlines(const cv::Mat& outlined, const std::vector<std::pair<cv::Rect, cv::Mat>>& under) {
  cv::Mat clean = outlined.clone();
  for (auto it = under.rbegin(); it != under.rend(); ++it) it->second.copyTo(clean(it->first));
  return clean;
}

}  // namespace

bool CDisplayCore::UntilWhole(const std::function<bool()>& current, bool* late) {
  const auto deadline = std::chrono::steady_clock::now() + StillTimeout();
  bool whole = false;
  for (;;) {
    // Counted before asking, so a frame that lands in between is not waited for in vain.
    const std::uint64_t seen = framesTaken_.load();
    whole = current();
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (whole || left.count() <= 0 || !IsRunning()) break;
    platform::DispatchMessagesUntil([&] { return framesTaken_.load() != seen || !IsRunning(); }, left);
  }
  if (late != nullptr) *late = !whole;
  return whole;
}

cv::Mat CDisplayCore::BuildCurrentPicture(cv::Mat reuse, cv::Size recordedSize, int* reduction, bool whole,
                                          bool* late) {
  *reduction = 1;
  PictureRecipe recipe;
  const auto ask = [&] {
    recipe = {};
    Send(kGetRecipe, 0, ToLParam(&recipe));
    return !recipe.damaged;
  };
  if (!whole) ask();
  else if (!UntilWhole(ask, late)) return {};
  if (!recipe.source) return recipe.picture;
  const int r = RecordingReduction(*recipe.source, recipe.trim, recipe.rotation, recordedSize);
  cv::Mat picture = PictureOfRawFrame(*recipe.source, recipe.trim, recipe.rotation, std::move(reuse), r);
  if (!picture.empty()) *reduction = r;
  return picture;
}

cv::Mat CDisplayCore::GetPicture(bool* late) {
  int reduction = 1;
  return BuildCurrentPicture({}, {}, &reduction, true, late);
}

std::vector<cv::Mat> CDisplayCore::GetCroppedPictures(bool* late) {
  std::vector<cv::Mat> pictures;
  UntilWhole(
      [&] {
        pictures.clear();
        return Send(ids::kGetPicture, ids::kPictureCropped, ToLParam(&pictures)) != kFrameDamaged;
      },
      late);
  return pictures;
}

cv::Mat CDisplayCore::GetShownPicture(bool* late) { return ShownPicture({}, {}, true, late); }

cv::Mat CDisplayCore::ShownPicture(cv::Mat reuse, cv::Size recordedSize, bool whole, bool* late) {
  int reduction = 1;
  cv::Mat picture = BuildCurrentPicture(std::move(reuse), recordedSize, &reduction, whole, late);
  if (!picture.empty()) Send(kComposeBox, static_cast<platform::WParam>(reduction), ToLParam(&picture));
  return picture;
}

bool CDisplayCore::GetRecordingPictureAt(cv::Mat* picture, cv::Size recordedSize) {
  if (!recording_.load()) return false;
  // The recorder pulls a picture every frame into the same matrix: its buffer is written again
  // when nobody else holds it (a fresh buffer costs its page faults every time).
  cv::Mat previous = std::move(*picture);
  const bool own = previous.u != nullptr && previous.u->refcount == 1;
  *picture = ShownPicture(own ? std::move(previous) : cv::Mat(), recordedSize, false, nullptr);
  return true;
}

void CDisplayCore::PostResize(cv::Size clientSize) {
  platform::Message message;
  message.id = kResize;
  message.payload = clientSize;
  platform::Post(Target(), std::move(message));
}

void CDisplayCore::PostMouse(const MouseInput& input) {
  platform::Message message;
  message.id = kMouse;
  message.payload = input;
  platform::Post(Target(), std::move(message));
}

ShownFrame CDisplayCore::TakeShownFrame() {
  std::lock_guard lock(shownMutex_);
  ShownFrame frame;
  frame.picture = std::move(shown_.picture);
  shown_.picture = cv::Mat();
  frame.cursor = shown_.cursor;
  frame.sequence = shown_.sequence;
  return frame;
}

void CDisplayCore::GiveBackShownPicture(cv::Mat picture) {
  if (picture.empty()) return;
  std::lock_guard lock(shownMutex_);
  spareShown_ = std::move(picture);
}

void CDisplayCore::PublishIfChanged() {
  {
    std::lock_guard lock(viewMutex_);
    view_.scale = container_->Scale();
    view_.client = container_->ClientSize();
    if (!container_->GetPictureSize(&view_.picture)) view_.picture = {};
    view_.fitted = container_->FitMode();
    view_.overlays = container_->SubImageBox() != nullptr || container_->TrackRectangle() != nullptr;
  }
  cv::Mat byWorkers = std::move(composedByWorkers_);
  composedByWorkers_ = cv::Mat();
  if (!container_->NeedsRepaint()) {
    framePool_.Give(std::move(byWorkers));
    return;
  }
  // Composed into a buffer the view gave back, or else into one the view painted but never took.
  cv::Mat composed;
  {
    std::lock_guard lock(shownMutex_);
    composed = std::move(spareShown_.empty() ? shown_.picture : spareShown_);
    spareShown_ = cv::Mat();
    shown_.picture = cv::Mat();
  }
  if (!byWorkers.empty()) {
    // The workers composed this frame's client area already, as the container would have.
    framePool_.Give(std::move(composed));
    composed = std::move(byWorkers);
    container_->MarkComposed();
  } else {
    // In the window system's own pixel layout, so the GUI thread paints without converting.
    container_->ComposeBgra(composed);
  }
  {
    std::lock_guard lock(shownMutex_);
    shown_.picture = std::move(composed);
    shown_.cursor = container_->Cursor();
    shown_.sequence = ++sequence_;
  }
  if (frameReady_) frameReady_();
}

platform::MessageResult CDisplayCore::Handle(const platform::Message& message) {
  platform::MessageResult result = 0;
  CObjectContainer& container = *container_;
  switch (message.id) {
    case ids::kProcessedFrame: {
      ProcessedFrame& frame = *Pointer<ProcessedFrame>(message.lParam);
      cv::Mat oldCurrent = std::move(current_);
      cv::Mat oldPicture = container.Picture();
      cv::Mat oldOutlined = std::move(currentOutlined_);
      currentOutlined_ = cv::Mat();
      currentUnder_.clear();
      if (frame.source) {
        // Decoded at full resolution only when a getter asks for it.
        current_ = cv::Mat();
        currentSource_ = frame.source;
        currentTrim_ = frame.trim;
        currentRotation_ = frame.rotation;
      } else {
        current_ = frame.shownPicture;
        currentSource_.reset();
        if (current_.empty()) {
          currentOutlined_ = frame.annotatedPicture;
          currentUnder_ = std::move(frame.underOutlines);
        }
      }
      currentDamaged_ = frame.damaged;
      shownRotation_.store(frame.rotation);
      pages_ = frame.pages;
      container.SetPicture(frame.annotatedPicture, frame.reduction);
      liveReduction_.store(frame.reduction);
      if (!frame.composed.empty()) {
        if (container.ComposesFittedWhole(frame.client, frame.place)) composedByWorkers_ = std::move(frame.composed);
        else frame.recycled.push_back(std::move(frame.composed));
        frame.composed = cv::Mat();
      }
      // Nothing here holds the old buffers any more (every getter hands out deep copies): give
      // them back to the workers. Without live detection both were one buffer. Only buffers of
      // the frame's own size serve the workers again.
      const std::uint8_t* shownNow = container.Picture().data;
      const auto giveBack = [&](const cv::Mat& buffer) {
        if (!buffer.empty() && buffer.data != shownNow && buffer.data != current_.data &&
            buffer.size() == frame.annotatedPicture.size())
          frame.recycled.push_back(buffer);
      };
      if (oldPicture.data != oldCurrent.data) giveBack(oldPicture);
      giveBack(oldCurrent);
      if (oldOutlined.data != oldPicture.data && oldOutlined.data != oldCurrent.data) giveBack(oldOutlined);
      oldPicture.release();
      oldCurrent.release();
      oldOutlined.release();
      if (CSubImageBox* box = container.SubImageBox()) {
        if (liveDetection_.load() && !pages_.empty()) box->SetTurnedDisplay(true, pages_.front().angle * kPi / 180);
        else box->SetTurnedDisplay(false, 0);
      }
      framesTaken_.fetch_add(1);
      break;
    }
    case ids::kSecondaryFrame: {
      const qvcam::CBGR24Data& frame = *Pointer<qvcam::CBGR24Data>(message.lParam);
      if (CSubImageBox* box = container.SubImageBox()) box->SetSourceFrame(frame.Pixels(), frame.Width(), frame.Height());
      break;
    }
    case ids::kCreateOverlay:
      if (message.wParam == ids::kOverlaySelection) {
        container.CreateTrackRectangle();
      } else {
        const IntRect& r = *Pointer<IntRect>(message.lParam);
        container.CreateSubImageBox(r.left, r.top, r.right, r.bottom);
      }
      break;
    case ids::kDeleteOverlay:
      if (message.wParam == ids::kOverlaySelection) container.DeleteTrackRectangle();
      else container.DeleteSubImageBox();
      break;
    case ids::kGetTrackRect:
      result = container.GetTrackRect(Pointer<IntRect>(message.lParam)) ? 0 : 1;
      break;
    case ids::kDisplaySettings:
      if (message.wParam == ids::kSettingRotation) {
        const int next = static_cast<int>(message.lParam);
        const int turn = ((next - rotation_.load()) % 360 + 360) % 360;
        if (turn == 90) container.RotateObjects(QuarterTurn::Clockwise);
        else if (turn == 270) container.RotateObjects(QuarterTurn::CounterClockwise);
        else if (turn == 180) container.RotateObjects(QuarterTurn::Half);
        rotation_.store(next);
      }
      break;
    case ids::kGetPicture:
      // The current and shown pictures are built on the caller's thread (kGetRecipe).
      if (message.wParam == ids::kPictureCropped) {
        if (currentDamaged_) return kFrameDamaged;
        if (CurrentPicture().empty()) return 1;
        auto& pictures = *Pointer<std::vector<cv::Mat>>(message.lParam);
        const std::vector<cv::RotatedRect> pages = pages_;
        cv::Mat picture = current_.clone();
        container.OnGetPicture(picture);
        if (!liveDetection_.load() || pages.empty()) {
          IntRect r;
          if (container.GetTrackRect(&r)) {
            r.left = std::max(r.left, 0);
            r.top = std::max(r.top, 0);
            r.right = std::min(r.right, picture.cols);
            r.bottom = std::min(r.bottom, picture.rows);
            if (r.Width() >= 1 && r.Height() >= 1)
              pictures.push_back(picture(cv::Rect(r.left, r.top, r.Width(), r.Height())).clone());
          } else {
            pictures.push_back(picture);
          }
        } else {
          for (const cv::RotatedRect& page : pages) {
            cv::Mat cut = imaging::CropRotatedRect(picture, page);
            if (!cut.empty()) pictures.push_back(std::move(cut));
          }
        }
      } else {
        result = 1;
      }
      break;
    case kClearPages:
      pages_.clear();
      break;
    case kGetRecipe: {
      PictureRecipe& recipe = *Pointer<PictureRecipe>(message.lParam);
      recipe.damaged = currentDamaged_;
      if (!current_.empty()) {
        recipe.picture = current_.clone();
      } else if (!currentOutlined_.empty()) {
        recipe.picture = WithoutOutlines(currentOutlined_, currentUnder_);
      } else if (currentSource_) {
        recipe.source = currentSource_;
        recipe.trim = currentTrim_;
        recipe.rotation = currentRotation_;
      }
      break;
    }
    case kComposeBox: {
      const platform::WParam reduction = std::max<platform::WParam>(message.wParam, 1);
      container.OnGetPicture(*Pointer<cv::Mat>(message.lParam), 1.0f / static_cast<float>(reduction));
      break;
    }
    case kResize:
      container.SetClientSize(std::any_cast<cv::Size>(message.payload));
      break;
    case kMouse: {
      const MouseInput& input = std::any_cast<const MouseInput&>(message.payload);
      const CursorShape before = container.Cursor();
      switch (input.action) {
        case MouseAction::Move: container.OnMouseMove(input.at); break;
        case MouseAction::LeftDown: container.OnLButtonDown(input.at); break;
        case MouseAction::LeftUp: container.OnLButtonUp(input.at); break;
        case MouseAction::RightDown: container.OnRButtonDown(input.at); break;
        case MouseAction::RightUp: container.OnRButtonUp(input.at); break;
        case MouseAction::DoubleClick: container.OnLButtonDblClk(input.at); break;
        case MouseAction::Wheel: container.OnMouseWheel(input.wheelDelta, input.at); break;
      }
      if (container.Cursor() != before) container.InvalidateViewRect({});
      break;
    }
    default:
      return 0;
  }
  PublishIfChanged();
  return result;
}

// The main camera's frames are shared by the conversion workers: a 4160 x 3120 MJPG frame can take
// about as long to decode as the camera takes to send the next one, and a single decoder then
// drops frames. Each worker takes the newest raw frame under a lock, decodes it, searches it for
// pages and outlines them on its own, and hands it over in the order the frames were taken; a
// frame overtaken by a later one is dropped.
// The first worker also converts the second camera's frames.
void CDisplayCore::ConversionLoop(std::stop_token stop, int worker) {
  FrameConverter secondaryConverter;
  TakenFrame taken;
  bool busy = false;
  while (!stop.stop_requested()) {
    // A worker standing by has nothing to look for until the first one has a frame in hand.
    if (worker > 0 && !busy && !firstWorkerBusy_.load()) firstWorkerTook_.Wait(kIdleWait);
    // Straight on after a frame: at 30 frames a second a pause per frame would cost a frame.
    if (stopEvent_.Wait(busy ? std::chrono::milliseconds(0) : kPollInterval)) break;
    busy = false;
    if (worker == 0) {
      secondaryConverter.SetFrameRateLimit(std::max(frameRateLimit_.load(), 0));
      if (secondaryConverter.Convert(raw_[kSecondarySlot], convertedSecondary_)) {
        busy = true;
        convertedReady_.Set();
      }
    }
    std::uint64_t sequence = 0;
    DecodedFrame decoded;
    if (!TakeMainFrame(taken, decoded, sequence, worker)) continue;
    busy = true;
    // Detected and outlined here too, while the frame is in this core's caches: the display
    // worker only hands it to the display's thread.
    ProcessedFrame processed;
    if ((!decoded.picture.empty() || DecodeMainFrame(taken, decoded)) &&
        PrepareMainFrame(std::move(decoded), processed))
      DeliverMainFrame(std::move(processed), sequence, stop);
    if (worker == 0) firstWorkerBusy_.store(false);
  }
}

bool CDisplayCore::TakeMainFrame(TakenFrame& taken, DecodedFrame& converted, std::uint64_t& sequence, int worker) {
  std::lock_guard lock(takeMutex_);
  CFrameSlot& raw = raw_[kMainSlot];
  // The worker's last frame is let go first: while the slot waits for a buffer given back, a frame
  // held here would keep it waiting.
  taken.raw.reset();
  if (slotLent_) {
    // The slot's buffer went with the last frame: a frame given back since goes into it.
    std::unique_ptr<RawFrame> spare = rawPool_.TakeSpare();
    if (!spare) return false;
    int capacity = spare->capacity;
    raw.ExchangeBuffer(std::move(spare->bytes), &capacity);
    slotLent_ = false;
    return false;
  }
  if (raw.State() != CFrameSlot::kFilled) return false;
  // The other workers stand by while the first one is free: a frame decoded where the last one
  // was keeps its buffers and the decoder's state in that core's caches.
  if (worker > 0 && !firstWorkerBusy_.load()) return false;
  // MJPG frames that come sooner than the limit allows after the last one taken are skipped.
  if (raw.Subtype() == FrameSubtype::MJPG && !mainGate_.Admit(frameRateLimit_.load())) {
    raw.MarkTaken();
    return false;
  }
  taken.subtype = raw.Subtype();
  taken.width = raw.Width();
  taken.height = raw.Height();
  // MJPG and YUY2 frames go on to the display's thread with the picture made of them (the getters
  // make theirs from them at full resolution): the frame's buffer leaves the slot, which gets one
  // given back.
  // Without a buffer to give it (`kept` null), the slot keeps the frame's place (see slotLent_).
  const auto keep = [&](std::unique_ptr<RawFrame> kept) {
    const bool lend = !kept;
    if (lend) kept = std::make_unique<RawFrame>();
    kept->subtype = taken.subtype;
    kept->width = taken.width;
    kept->height = taken.height;
    kept->length = raw.Length();
    int capacity = kept->capacity;
    kept->bytes = raw.ExchangeBuffer(std::move(kept->bytes), &capacity, lend);
    kept->capacity = capacity;
    slotLent_ = lend;
    return rawPool_.Share(std::move(kept));
  };
  bool done = true;
  if (taken.subtype == FrameSubtype::MJPG) {
    // Decoded once the slot is free.
    taken.raw = keep(rawPool_.Take());
  } else {
    // The others convert in a few milliseconds: straight out of the slot, so that a 26 MB YUY2
    // frame is not held a third time while it converts.
    done = ConvertMainFrame(taken, raw.Data(), raw.Length(), converted);
    if (done && taken.subtype == FrameSubtype::YUY2) converted.source = taken.raw = keep(rawPool_.TakeSpare());
    else raw.MarkTaken();
  }
  if (!done) return false;
  sequence = ++takenSequence_;
  if (worker == 0) {
    firstWorkerBusy_.store(true);
    firstWorkerTook_.Set();
  }
  return true;
}

int CDisplayCore::WantedReduction(int width, int height) const {
  IntRect visible{0, 0, width, height};
  ApplyMargins(visible);
  const int rotation = rotation_.load();
  const bool quarter = rotation == 90 || rotation == 270;
  const cv::Size picture(quarter ? visible.Height() : visible.Width(), quarter ? visible.Width() : visible.Height());
  ViewScale view;
  {
    std::lock_guard lock(viewMutex_);
    view = view_;
  }
  // Before the view knows its size, the frame is made as small as it can be: a view larger than
  // that gets the next frames larger, while full-size buffers made for a first frame would stay.
  if (view.client.width <= 0 || view.client.height <= 0) return 4;
  // A picture of another size is shown fitted first.
  const float scale =
      view.scale > 0 && view.picture == picture ? view.scale : CObjectContainer::FitScale(picture, view.client);
  return scale > 0 && scale * 4 <= 1 ? 4 : scale > 0 && scale * 2 <= 1 ? 2 : 1;
}

bool CDisplayCore::DecodeMainFrame(const TakenFrame& taken, DecodedFrame& decoded) {
  return taken.raw && ConvertMainFrame(taken, taken.raw->bytes.get(), taken.raw->length, decoded);
}

namespace {

// The scale the live view's page search shrinks a `full`-sized (trimmed and turned) picture by.
float LiveSearchScale(cv::Size full) {
  return static_cast<long long>(full.width) * full.height > imaging::kLargeLiveFramePixels ? imaging::kLivePageScale
                                                                                          : imaging::kPageScale;
}

}  // namespace

void CDisplayCore::PlanRowWork(DecodedFrame& d, std::optional<imaging::SearchShrink>& search) {
  // Turned frames are turned whole first; their copies are made from the turned picture.
  if (d.rotation != 0) return;
  const int r = d.reduction;
  const cv::Size picture(d.trim.Width(), d.trim.Height());
  const cv::Size visible(picture.width / r, picture.height / r);
  if (liveDetection_.load()) {
    const cv::Size size = imaging::SearchSize(visible, LiveSearchScale(picture) * static_cast<float>(r));
    if (!size.empty()) search.emplace(visible, CV_8UC3, size);
  }
  ViewScale view;
  {
    std::lock_guard lock(viewMutex_);
    view = view_;
  }
  // A picture of another size is shown fitted; one of the same size as the view shows it. Only
  // a fitted picture shrunk whole, with nothing drawn over it, is composed here.
  const bool fitted = view.picture != picture || view.fitted;
  if (!fitted || view.overlays || view.client.width <= 0 || view.client.height <= 0) return;
  const float fit = CObjectContainer::FitScale(picture, view.client);
  if (fit * static_cast<float>(r) > 1.0f) return;
  const ViewPlacement placement = CObjectContainer::ComputeView(
      picture, fit, {view.client.width / 2, view.client.height / 2}, {picture.width / 2, picture.height / 2}, view.client);
  const IntRect& at = placement.destination;
  const cv::Rect place(at.left, at.top, at.Width(), at.Height());
  if (place.empty() || (place & cv::Rect(cv::Point(0, 0), view.client)) != place) return;
  d.composed = framePool_.Take(view.client);
  if (d.composed.empty()) return;
  CObjectContainer::PaintPanelBgra(d.composed, place);
  if (!d.shrink.Start(visible, CV_8UC3, d.composed(place))) {
    framePool_.Give(std::move(d.composed));
    d.composed = cv::Mat();
    return;
  }
  d.client = view.client;
  d.place = place;
}

void CDisplayCore::Drop(DecodedFrame& frame) {
  frame.shrink = StreamedShrink();
  pool_.Give(std::move(frame.picture));
  framePool_.Give(std::move(frame.composed));
  frame.picture = cv::Mat();
  frame.composed = cv::Mat();
}

bool CDisplayCore::ConvertMainFrame(const TakenFrame& taken, const std::uint8_t* bytes, int length,
                                    DecodedFrame& decoded) {
  const int width = taken.width;
  const int height = taken.height;
  if (width <= 0 || height <= 0 || 3LL * width * height > INT32_MAX) return false;
  const bool kept = taken.subtype == FrameSubtype::MJPG || taken.subtype == FrameSubtype::YUY2;
  const int reduction = kept ? MjpgReduction(WantedReduction(width, height), width, height) : 1;
  decoded.picture = pool_.Take({width / reduction, height / reduction});
  if (decoded.picture.empty()) return false;
  // The margins are multiples of 4, so a reduced frame is trimmed by exactly its share of them.
  IntRect trim{0, 0, width, height};
  ApplyMargins(trim);
  decoded.trim = trim;
  decoded.rotation = rotation_.load();
  decoded.reduction = reduction;
  std::optional<imaging::SearchShrink> search;
  PlanRowWork(decoded, search);
  const cv::Rect visible(trim.left / reduction, trim.top / reduction, trim.Width() / reduction,
                         trim.Height() / reduction);
  const cv::Mat shown = decoded.picture(visible);
  // Each band of rows goes on to the page search's copy and the screen's shrink while it is in
  // cache.
  const RowsDone rowsDone = [&](int rows) {
    const int inside = std::clamp(rows - visible.y, 0, visible.height);
    if (search) search->AddRows(shown, inside);
    if (decoded.shrink.Started()) decoded.shrink.AddRows(shown, inside);
  };
  const std::size_t capacity = decoded.picture.total() * 3;
  bool converted = false;
  decoded.damaged = false;
  if (taken.subtype == FrameSubtype::MJPG) {
    int jpegWidth = 0, jpegHeight = 0;
    // A frame of another size than the slot announces would not match its buffer. The one decode
    // of the frame tells whether rows are missing; the getters go by it.
    converted = ReadMJPGSize(bytes, length, &jpegWidth, &jpegHeight) && jpegWidth == width && jpegHeight == height &&
                DecodeMJPGInBands(bytes, length, decoded.picture.data, capacity, reduction, rowsDone, &decoded.damaged);
  } else if (taken.subtype == FrameSubtype::YUY2) {
    converted = ConvertYUY2InBands(bytes, length, width, height, reduction, decoded.picture.data, capacity, rowsDone);
  } else {
    converted = ConvertToBGR24(taken.subtype, bytes, length, width, height, 1, decoded.picture.data, capacity);
    if (converted) rowsDone(height);
  }
  if (!converted) {
    Drop(decoded);
    return false;
  }
  if (search) decoded.search = search->Finish(shown);
  decoded.source = kept ? taken.raw : nullptr;
  return true;
}

void CDisplayCore::DeliverMainFrame(ProcessedFrame frame, std::uint64_t sequence, std::stop_token stop) {
  std::unique_lock lock(deliverMutex_);
  while (!stop.stop_requested() && sequence > deliveredSequence_) {
    if (!decodedMain_) {
      decodedMain_ = std::move(frame);
      deliveredSequence_ = sequence;
      convertedReady_.Set();
      return;
    }
    // The display worker still has the previous frame to take.
    lock.unlock();
    convertedTaken_.Wait(kPollInterval);
    lock.lock();
  }
  lock.unlock();
  GiveBack(frame);
}

void CDisplayCore::GiveBack(ProcessedFrame& frame) {
  // The clean picture, when one is kept, may be the annotated one's buffer: given back once.
  if (frame.shownPicture.data != frame.annotatedPicture.data) pool_.Give(std::move(frame.shownPicture));
  pool_.Give(std::move(frame.annotatedPicture));
  framePool_.Give(std::move(frame.composed));
  frame = ProcessedFrame();
}

bool CDisplayCore::TakeDecodedMainFrame(ProcessedFrame& frame) {
  {
    std::lock_guard lock(deliverMutex_);
    if (!decodedMain_) return false;
    frame = std::move(*decodedMain_);
    decodedMain_.reset();
  }
  convertedTaken_.Set();
  return true;
}

void CDisplayCore::DisplayLoop(std::stop_token stop) {
  bool busy = false;
  while (!stop.stop_requested() && !stopEvent_.Wait(std::chrono::milliseconds(0))) {
    // Every frame for it and Stop set the event: no need to look before.
    if (!busy) convertedReady_.Wait(kIdleWait);
    busy = false;
    ProcessedFrame frame;
    if (TakeDecodedMainFrame(frame)) {
      SendMainFrame(frame, stop);
      busy = true;
    }
    CFrameSlot& secondary = convertedSecondary_;
    if (secondary.State() == CFrameSlot::kFilled) {
      busy = true;
      qvcam::CBGR24Data picture;
      const bool copied = picture.SetData(secondary.Width(), secondary.Height(), secondary.Data());
      secondary.MarkTaken();
      if (copied) platform::TrySend(Target(), ids::kSecondaryFrame, 0, ToLParam(&picture), stop);
    }
  }
}

// `picture` is the frame at 1/reduction of each side; the pages come back in full-resolution
// coordinates, found at the scale the full frame would have been searched at.
std::vector<cv::RotatedRect> CDisplayCore::DetectPages(const cv::Mat& picture, int reduction,
                                                       const cv::Mat& search) const {
  const int width = picture.cols * reduction;
  const int height = picture.rows * reduction;
  const float scale = LiveSearchScale({width, height}) * static_cast<float>(reduction);
  const cv::Size searchSize = imaging::SearchSize(picture.size(), scale);
  const float ratio = minimumAreaRatio_.load();
  const cv::RotatedRect whole(cv::Point2f(static_cast<float>(width / 2), static_cast<float>(height / 2)),
                              cv::Size2f(static_cast<float>(width), static_cast<float>(height)), 0);
  const auto toFull = [reduction](cv::RotatedRect page) {
    page.center *= static_cast<float>(reduction);
    page.size.width *= static_cast<float>(reduction);
    page.size.height *= static_cast<float>(reduction);
    return page;
  };
  const bool multiDocument = multiDocument_.load();
  std::vector<cv::RotatedRect> pages;
  bool found = false;
  // OpenCV runs a parallel loop started inside another one on the calling thread. The detection's
  // loops over its small shrunk copy cost more in waking and spinning the worker pool than the
  // work they share out, so the whole detection runs inside one loop of a single step.
  cv::parallel_for_(cv::Range(0, 1), [&](const cv::Range&) {
    if (searchSize.empty()) return;
    const cv::Mat shrunk = search.size() == searchSize ? search : imaging::ShrinkForSearch(picture, searchSize);
    if (multiDocument) {
      found = imaging::FindDocumentRegions(picture, shrunk, imaging::kPageMedianAperture, imaging::kPageGradientAperture,
                                           scale, ratio, imaging::kPageThresholdFactor, pages) &&
              !pages.empty();
    } else {
      cv::RotatedRect bounds;
      found = imaging::FindDocumentBounds(picture, shrunk, imaging::kPageMedianAperture, imaging::kPageGradientAperture,
                                          scale, ratio, imaging::kPageThresholdFactor, bounds);
      pages = {bounds};
    }
  });
  if (!found) return {whole};
  for (cv::RotatedRect& page : pages) page = toFull(page);
  return pages;
}

const cv::Mat& CDisplayCore::CurrentPicture() {
  if (current_.empty() && !currentOutlined_.empty()) current_ = WithoutOutlines(currentOutlined_, currentUnder_);
  if (!current_.empty() || !currentSource_) return current_;
  cv::Mat decoded = PictureOfRawFrame(*currentSource_, currentTrim_, currentRotation_);
  if (decoded.empty()) return current_;
  current_ = std::move(decoded);
  currentSource_.reset();
  return current_;
}

namespace {

// Writes again the part of a composed picture that reads from under a thick line from `a` to `b`
// (its round ends too): every pixel within `margin` of the segment, a few rows at a time, so a
// slanted side costs a narrow strip rather than its whole bounding box.
void RefreshUnderLine(StreamedShrink& shrink, const cv::Mat& picture, cv::Point a, cv::Point b, int margin) {
  constexpr int kRows = 8;
  const int top = std::max(std::min(a.y, b.y) - margin, 0);
  const int bottom = std::min(std::max(a.y, b.y) + margin, picture.rows - 1);
  for (int y0 = top; y0 <= bottom; y0 += kRows) {
    const int y1 = std::min(y0 + kRows - 1, bottom);
    // Where the segment runs within `margin` rows of these.
    double low = std::min(a.x, b.x), high = std::max(a.x, b.x);
    if (a.y != b.y) {
      const auto xAt = [&](double y) {
        const double t = std::clamp((y - a.y) / static_cast<double>(b.y - a.y), 0.0, 1.0);
        return a.x + t * (b.x - a.x);
      };
      const double first = xAt(y0 - margin), last = xAt(y1 + margin);
      low = std::min(first, last);
      high = std::max(first, last);
    }
    const int left = static_cast<int>(std::floor(low)) - margin;
    const int right = static_cast<int>(std::ceil(high)) + margin;
    shrink.Refresh(picture, cv::Rect(left, y0, right - left + 1, y1 - y0 + 1));
  }
}

}  // namespace

bool CDisplayCore::PrepareMainFrame(DecodedFrame frame, ProcessedFrame& processed) {
  const int reduction = frame.reduction;
  if (frame.picture.empty() || reduction < 1 || (reduction > 1 && !frame.source)) {
    Drop(frame);
    return false;
  }
  processed.damaged = frame.damaged;
  processed.reduction = reduction;
  processed.source = std::move(frame.source);
  processed.rotation = frame.rotation;
  processed.trim = frame.trim;
  const IntRect& trim = frame.trim;
  const cv::Size decodedSize = frame.picture.size();
  const cv::Rect visible(trim.left / reduction, trim.top / reduction, trim.Width() / reduction,
                         trim.Height() / reduction);
  cv::Mat shown;
  if (processed.rotation == 0 && visible.size() == decodedSize) {
    // Untrimmed and unturned, the decoded frame is the picture.
    shown = std::move(frame.picture);
  } else {
    // Trimmed and turned in one pass: every extra copy of a 4160 x 3120 frame costs more than
    // the turn itself.
    const bool quarter = processed.rotation == 90 || processed.rotation == 270;
    shown = pool_.Take(quarter ? cv::Size(visible.height, visible.width) : visible.size());
    if (shown.empty()) {
      Drop(frame);
      return false;
    }
    TurnPicture(frame.picture(visible), shown, processed.rotation);
    pool_.Give(std::move(frame.picture));
  }
  frame.picture = cv::Mat();
  // The client area composed while the rows came in, unless it was left unfinished.
  const bool composed = frame.shrink.Done();
  // A compressed frame's clean picture is never kept (the getters decode the frame again), so its
  // outlines go straight into it. So do those of any other frame, with what they cover saved for
  // the getters, unless that is more than a quarter of the picture: then a clean copy is kept.
  bool cleanCopy = !processed.source;
  if (liveDetection_.load()) {
    processed.pages = DetectPages(shown, reduction, frame.search);
    // Outlines as the full picture would have them, drawn at the reduced frame's scale.
    const int thickness = std::max(1, (9 + reduction / 2) / reduction);
    std::vector<std::pair<cv::Point, cv::Point>> lines;
    for (const cv::RotatedRect& page : processed.pages) {
      const float cx = page.center.x, cy = page.center.y;
      const float hw = page.size.width / 2, hh = page.size.height / 2;
      cv::Point corners[4] = {RotatePoint(page, cx - hw, cy - hh), RotatePoint(page, cx + hw, cy - hh),
                              RotatePoint(page, cx + hw, cy + hh), RotatePoint(page, cx - hw, cy + hh)};
      for (cv::Point& corner : corners) corner /= reduction;
      for (int i = 0; i < 4; ++i) lines.emplace_back(corners[i], corners[(i + 1) % 4]);
    }
    // A thick line stays within its ends' box widened by half its thickness (and the round caps).
    const cv::Rect whole(0, 0, shown.cols, shown.rows);
    const int margin = thickness / 2 + 2;
    const auto covered = [&](const std::pair<cv::Point, cv::Point>& line) {
      const cv::Point low(std::min(line.first.x, line.second.x) - margin, std::min(line.first.y, line.second.y) - margin);
      const cv::Point high(std::max(line.first.x, line.second.x) + margin + 1,
                           std::max(line.first.y, line.second.y) + margin + 1);
      return cv::Rect(low, high) & whole;
    };
    if (cleanCopy) {
      double area = 0;
      for (const auto& line : lines) area += covered(line).area();
      cleanCopy = area > static_cast<double>(whole.area()) / 4;
    }
    processed.annotatedPicture = cleanCopy ? pool_.Take(shown.size()) : shown;
    if (processed.annotatedPicture.empty()) {
      Drop(frame);
      return false;
    }
    if (cleanCopy) shown.copyTo(processed.annotatedPicture);
    const bool saveCovered = !processed.source && !cleanCopy;
    for (const auto& line : lines) {
      if (saveCovered) {
        const cv::Rect box = covered(line);
        if (!box.empty()) processed.underOutlines.emplace_back(box, shown(box).clone());
      }
      cv::line(processed.annotatedPicture, line.first, line.second, cv::Scalar(255, 0, 0), thickness, cv::LINE_8);
    }
    // The composed client area showed the picture without them: what they cover is shrunk again.
    if (composed)
      for (const auto& line : lines)
        RefreshUnderLine(frame.shrink, processed.annotatedPicture, line.first, line.second, margin);
  } else {
    processed.annotatedPicture = shown;  // and the clean picture, when it is kept, is the same buffer
  }
  if (cleanCopy) processed.shownPicture = std::move(shown);
  shown.release();
  frame.shrink = StreamedShrink();
  if (composed) {
    processed.composed = std::move(frame.composed);
    processed.client = frame.client;
    processed.place = frame.place;
  }
  framePool_.Give(std::move(frame.composed));
  return true;
}

void CDisplayCore::SendMainFrame(ProcessedFrame& processed, std::stop_token stop) {
  const bool handled = platform::TrySend(Target(), ids::kProcessedFrame, 0, ToLParam(&processed), stop).has_value();
  // After a handled send the pictures belong to the display's thread: drop them, keep only what
  // came back.
  processed.shownPicture.release();
  processed.annotatedPicture.release();
  if (!handled) framePool_.Give(std::move(processed.composed));
  processed.composed.release();
  if (handled)
    for (cv::Mat& buffer : processed.recycled) (buffer.type() == CV_8UC4 ? framePool_ : pool_).Give(std::move(buffer));
}

}  // namespace orvane
