// The live display without its widget: the frame slots the camera writes into, the conversion
// workers (two, sharing the main camera's frames) and the display worker, and the display's own
// thread, which runs the message layer's loop and owns everything shown (the current picture, the
// detected pages, the picture container and its overlays). Each shown frame is composed there and
// handed to the view as the newest frame.
//
// Thread-safety: every public operation may be called from any thread other than the display's
// own; the operations that touch what is shown are blocking sends to the display's thread.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include <opencv2/core.hpp>

#include "camera/frame.h"
#include "camera/overlays.h"
#include "camera/screen_picture.h"
#include "imaging/page_detection.h"
#include "platform/events.h"
#include "platform/messages.h"

namespace orvane {

class CObjectContainer;

// A main-camera frame as the camera sent it (compressed, or YUY2), kept with the picture made of
// it so that the getters can make theirs at full resolution.
struct RawFrame {
  FrameSubtype subtype = FrameSubtype::None;
  int width = 0;
  int height = 0;
  std::unique_ptr<std::uint8_t[]> bytes;
  int length = 0;
  int capacity = 0;  // usable bytes of `bytes` (64 more are allocated)
};
using SharedRawFrame = std::shared_ptr<const RawFrame>;

// What the display worker hands to the display's thread for one main frame.
struct ProcessedFrame {
  // Trimmed and turned, without outlines: the current picture. Empty when the frame came
  // compressed: then the current picture is decoded from `source` (trimmed by `trim`, turned by
  // `rotation`) only when a getter asks for it, and the shown frame is never copied.
  cv::Mat shownPicture;
  cv::Mat annotatedPicture;  // the frame as shown, with the page outlines drawn in
  // When the outlines went into an uncompressed frame itself (no clean picture kept): what each
  // outline covered, saved before it was drawn. Put back last first, they give the clean picture.
  std::vector<std::pair<cv::Rect, cv::Mat>> underOutlines;
  std::vector<cv::RotatedRect> pages;  // in full-resolution coordinates
  // Above 1: the annotated picture is the frame decoded at 1/reduction of each side.
  int reduction = 1;
  SharedRawFrame source;
  IntRect trim;
  int rotation = 0;
  // The frame decoded with rows missing (the camera ended it early): shown and recorded, never
  // handed out as a picture to keep.
  bool damaged = false;
  // The client area composed already (8-bit BGRA, `client` in size): the annotated picture fitted
  // whole into `place` with the panel round it, as the picture container composes it without
  // overlays. The display's thread shows it when its container is in that state, else composes.
  cv::Mat composed;
  cv::Size client;
  cv::Rect place;
  // Filled by the display's thread: picture buffers it no longer holds, handed back for the next
  // frames (fresh buffers of several megabytes cost more in page faults than the copy into them).
  std::vector<cv::Mat> recycled;
};

enum class MouseAction { Move, LeftDown, LeftUp, RightDown, RightUp, DoubleClick, Wheel };

struct MouseInput {
  MouseAction action = MouseAction::Move;
  cv::Point at;
  int wheelDelta = 0;
};

// The newest composed client area (8-bit BGRA, alpha 255) and the cursor the view is to show.
struct ShownFrame {
  cv::Mat picture;
  CursorShape cursor = CursorShape::Arrow;
  std::uint64_t sequence = 0;
};

// `source` (8-bit BGR) turned clockwise by 0, 90, 180 or 270 degrees into `destination`, whose
// buffer is reused when it has the turned size already.
void TurnPicture(const cv::Mat& source, cv::Mat& destination, int angle);

// A compressed frame decoded at full resolution, cut to `trim` and turned by `rotation`; empty
// when it does not decode or the trim does not fit it. The picture is written into `reuse` when
// that has its size and type (its buffer must not be shared). With a `reduction` of 2 or 4 (one
// that divides the frame's sides and the trim's edges) the frame is decoded at that fraction of
// each side and the picture is the trimmed and turned part of that.
cv::Mat DecodeTrimmedAndTurned(const std::vector<std::uint8_t>& jpeg, const IntRect& trim, int rotation,
                               cv::Mat reuse = {}, int reduction = 1);
// The same for a kept frame: compressed (as above) or YUY2 (converted, at full resolution only).
cv::Mat PictureOfRawFrame(const RawFrame& frame, const IntRect& trim, int rotation, cv::Mat reuse = {},
                          int reduction = 1);

// Picture buffers (8-bit BGR, continuous) that nothing else holds, handed back by their last user
// and taken again by the next: fresh buffers of several megabytes cost more in page faults than
// the work done in them. Keeps a few; thread-safe.
class CPicturePool {
 public:
  // `type`: CV_8UC3 pictures, or CV_8UC4 composed frames.
  explicit CPicturePool(int type = CV_8UC3) : type_(type) {}
  // A buffer of `size`: a kept one when there is one, else a new one (empty when there is no
  // memory for it).
  cv::Mat Take(cv::Size size);
  // `picture` must be held by the caller alone.
  void Give(cv::Mat picture);

 private:
  static constexpr std::size_t kKept = 3;
  const int type_;
  std::mutex mutex_;
  std::vector<cv::Mat> kept_;
};

// The buffers the camera's frames are kept in, taken out of the raw slot without a copy and given
// back when the last holder lets go of the frame: a 4160 x 3120 YUY2 frame is 26 MB, which a fresh
// buffer pays for in page faults every frame. Keeps a couple; thread-safe.
class CRawFramePool {
 public:
  CRawFramePool();
  // A frame buffer to swap into the slot: a kept one, else an empty one.
  std::unique_ptr<RawFrame> Take();
  // A kept one; else an empty one only while none of the pool's frames is held anywhere; else
  // none (a frame held now comes back when it is let go).
  std::unique_ptr<RawFrame> TakeSpare();
  // The frame for sharing; it comes back here when its last holder lets it go (or is freed when
  // the pool has gone).
  SharedRawFrame Share(std::unique_ptr<RawFrame> frame);

 private:
  struct Kept;
  std::shared_ptr<Kept> kept_;
};

class CDisplayCore {
 public:
  static constexpr int kMainSlot = 0;
  static constexpr int kSecondarySlot = 1;

  CDisplayCore();
  ~CDisplayCore();  // Stop()
  CDisplayCore(const CDisplayCore&) = delete;
  CDisplayCore& operator=(const CDisplayCore&) = delete;

  // Called on the display's thread whenever a new frame is ready for the view (TakeShownFrame);
  // must not block. Set before Start.
  void SetFrameReadyHandler(std::function<void()> handler) { frameReady_ = std::move(handler); }
  // Starts the display's thread, then the display worker and the conversion worker. Double
  // clicks are posted on to `parent`. False when the display's thread could not be set up in
  // time (nothing is left running).
  bool Start(platform::TargetHandle parent);
  // The system error code of the last failed Start.
  int LastError() const { return lastError_; }
  // Stops the workers (cancelling a send one is blocked in), then the display's thread. Idempotent.
  void Stop();
  bool IsRunning() const { return target_.load().Id() != 0; }
  platform::TargetHandle Target() const { return target_.load(); }

  // The camera's frame sinks: kMainSlot and kSecondarySlot.
  CFrameSlot* RawSlot(int index) { return &raw_[index]; }

  // Trims (left, top, right, bottom) by the stored margins when all are set and none is
  // negative; a trim that leaves nothing restores the rectangle.
  void ApplyMargins(IntRect& rect) const;
  // Margins rounded to multiples of 4; they apply from the next frame.
  bool SetTrimMargins(int left, int top, int right, int bottom);
  // A multiple of 90 (negative angles count backwards: -90 is 270); false otherwise or before
  // Start. The overlays turn with the picture.
  bool SetRotation(int angle);
  int Rotation() const { return rotation_.load(); }
  // The rotation the current frame was turned by when it was shown; any thread.
  int ShownRotation() const { return shownRotation_.load(); }
  void SetAutoCrop(bool on, bool multiDocument, float minimumAreaRatio);
  bool IsLiveDetection() const { return liveDetection_.load(); }
  // On: a new selection rectangle to be drawn (live detection off); off: none. The send's result
  // (0 done, 1 when the display is not running).
  platform::MessageResult EnableTrackRect(bool on);
  bool GetTrackRect(IntRect* rect);
  bool CreateSubImageBox(const IntRect& rect);
  void DeleteSubImageBox();
  void SetRecording(bool on) { recording_.store(on); }
  bool IsRecording() const { return recording_.load(); }
  void SetFrameRateLimit(int framesPerSecond) { frameRateLimit_.store(framesPerSecond); }
  // The factor by which each side of the last shown main frame was reduced for the live view.
  int LiveReduction() const { return liveReduction_.load(); }

  // Copies of what the display holds; empty before the first frame. They come only from a frame
  // that decoded whole: while the current one has rows missing, the next is waited for (the
  // calling thread's messages handled meanwhile), at most StillTimeout(). `*late` (when given)
  // tells that time-out from an empty display.
  cv::Mat GetPicture(bool* late = nullptr);
  std::vector<cv::Mat> GetCroppedPictures(bool* late = nullptr);
  cv::Mat GetShownPicture(bool* late = nullptr);
  // The shown picture, only while the recording flag is on; otherwise `picture` is untouched and
  // the result false. A recording runs on through a frame with rows missing (it shows for one
  // frame's time), so this one takes the current frame as it came.
  bool GetRecordingPicture(cv::Mat* picture) { return GetRecordingPictureAt(picture, {}); }
  // The same for a recording of `recordedSize`: a compressed frame is decoded only as large as
  // the recording shows it (at 1/2 or 1/4 of each side where that still gives at least a frame
  // pixel per recorded pixel), not at full resolution to be shrunk afterwards.
  bool GetRecordingPictureAt(cv::Mat* picture, cv::Size recordedSize);

  // From the view: posted, so the GUI thread never waits for the display.
  void PostResize(cv::Size clientSize);
  void PostMouse(const MouseInput& input);
  // The newest frame, moved out: its picture is empty when nothing new was composed since the
  // last take. Handing the buffer over whole means no picture is ever shared between threads.
  ShownFrame TakeShownFrame();
  // A picture the view has done with, held by it alone: the next frames are composed into it.
  void GiveBackShownPicture(cv::Mat picture);

 private:
  // A main-camera frame as a conversion worker took it from the raw slot.
  struct TakenFrame {
    FrameSubtype subtype = FrameSubtype::None;
    int width = 0;
    int height = 0;
    SharedRawFrame raw;  // MJPG and YUY2: kept with the frame for the getters
  };
  // A main-camera frame decoded, on its way to be made ready for the display.
  struct DecodedFrame {
    cv::Mat picture;  // a buffer of pool_
    int reduction = 1;
    SharedRawFrame source;
    bool damaged = false;  // decoded with rows missing
    IntRect trim;          // in full-resolution pixels
    int rotation = 0;
    // Made while the rows came in (rotation 0 only): the copy the page finder searches, and the
    // client area composed with the picture fitted (see ProcessedFrame::composed), its shrink kept
    // to redraw what the outlines cover.
    cv::Mat search;
    cv::Mat composed;  // a buffer of framePool_
    cv::Size client;
    cv::Rect place;
    StreamedShrink shrink;
  };
  // What the conversion workers read of the view to choose the reduction and what to compose.
  struct ViewScale {
    float scale = -1;   // the container's, for pictures of `picture` size
    cv::Size picture;   // in full-resolution pixels, trimmed and turned
    cv::Size client;
    bool fitted = false;    // the container shows the whole picture fitted
    bool overlays = false;  // a selection or an inset is drawn over it
  };

  platform::MessageResult Handle(const platform::Message& message);
  void ConversionLoop(std::stop_token stop, int worker);
  // The newest main-camera frame taken out of the raw slot, numbered in the order taken: an MJPG
  // frame copied, to be decoded (DecodeMainFrame), any other converted into `converted` at once.
  // Workers after the first take one only while the first has a frame in hand.
  bool TakeMainFrame(TakenFrame& taken, DecodedFrame& converted, std::uint64_t& sequence, int worker);
  bool DecodeMainFrame(const TakenFrame& taken, DecodedFrame& decoded);
  bool ConvertMainFrame(const TakenFrame& taken, const std::uint8_t* bytes, int length, DecodedFrame& decoded);
  // Sets up what is made of `decoded`'s rows as they come (see DecodedFrame::search).
  void PlanRowWork(DecodedFrame& decoded, std::optional<imaging::SearchShrink>& search);
  // Gives back the buffers of a frame that is not going on.
  void Drop(DecodedFrame& frame);
  // The reduction the live view wants for frames of `width` x `height`: the coarsest that still
  // gives a frame pixel per view pixel, at the view's scale or, before the view shows a picture of
  // that size, at the scale that will fit it.
  int WantedReduction(int width, int height) const;
  // Hands a main frame made ready to the display worker once it has taken the previous one;
  // drops it when a later frame got there first or the worker stops.
  void DeliverMainFrame(ProcessedFrame frame, std::uint64_t sequence, std::stop_token stop);
  bool TakeDecodedMainFrame(ProcessedFrame& frame);
  // The buffers of a frame made ready that is not going on.
  void GiveBack(ProcessedFrame& frame);
  void DisplayLoop(std::stop_token stop);
  // A decoded main frame trimmed, turned, searched for pages and outlined; false when it is
  // dropped (its buffers given back).
  bool PrepareMainFrame(DecodedFrame frame, ProcessedFrame& processed);
  // Hands it to the display's thread and takes back the buffers that thread let go.
  void SendMainFrame(ProcessedFrame& processed, std::stop_token stop);
  // `search`, when given, is the copy the page finder searches, made already.
  std::vector<cv::RotatedRect> DetectPages(const cv::Mat& picture, int reduction, const cv::Mat& search = {}) const;
  // The current picture at full resolution, decoded from the kept frame when the live view was
  // reduced; empty before the first frame.
  const cv::Mat& CurrentPicture();
  // What a getter needs to build the current picture on its own thread: a copy of it, or the
  // compressed frame with its trim and turn. The decode then never holds up the live view (a
  // recording pulls a picture every frame).
  struct PictureRecipe {
    cv::Mat picture;
    SharedRawFrame source;
    IntRect trim;
    int rotation = 0;
    bool damaged = false;
  };
  // The current picture, from a compressed frame decoded at `*reduction` (chosen for
  // `recordedSize`; 1 for an empty size), else at full resolution (`*reduction` 1). With `whole`,
  // only from a frame that decoded whole (see GetPicture); `*late` is set when none came in time.
  cv::Mat BuildCurrentPicture(cv::Mat reuse, cv::Size recordedSize, int* reduction, bool whole, bool* late);
  // The shown picture; `reuse` is a buffer nobody else holds, written into when it has the size.
  cv::Mat ShownPicture(cv::Mat reuse, cv::Size recordedSize, bool whole, bool* late);
  // Asks `current` (true when the display's current frame decoded whole) again at each new frame
  // until it is, at most StillTimeout(); false when none was in that time. `*late` (when given)
  // is set to the answer's opposite.
  bool UntilWhole(const std::function<bool()>& current, bool* late);
  void PublishIfChanged();
  platform::MessageResult Send(platform::MessageId id, platform::WParam wParam, platform::LParam lParam);

  // Shared with the camera and the workers through their state words.
  CFrameSlot raw_[2];
  CFrameSlot convertedSecondary_;
  // Between the conversion workers: who takes the next main frame, and in which order they go on.
  std::mutex takeMutex_;
  std::uint64_t takenSequence_ = 0;
  std::atomic<bool> firstWorkerBusy_{false};  // the first worker has a main frame in hand
  // The main raw slot's buffer went with a YUY2 frame: the slot stays filled (the camera's frames
  // are dropped) until a frame's buffer is given back to go into it, so that a stream of 26 MB
  // frames holds two of them, the one shown and the one coming.
  bool slotLent_ = false;
  FrameRateGate mainGate_;
  // The main frame made ready, waiting for the display worker, and the last one handed over.
  std::mutex deliverMutex_;
  std::optional<ProcessedFrame> decodedMain_;
  std::uint64_t deliveredSequence_ = 0;
  // The buffers the main frames travel in, from decoding to the display's thread and back, and
  // those of the composed client areas, from the workers to the view and back.
  CPicturePool pool_;
  CPicturePool framePool_{CV_8UC4};
  CRawFramePool rawPool_;

  // Read by the workers without the display's thread.
  mutable std::mutex marginsMutex_;
  int margins_[4] = {-1, -1, -1, -1};
  std::atomic<int> rotation_{0};
  std::atomic<bool> liveDetection_{false};
  std::atomic<bool> multiDocument_{false};
  std::atomic<float> minimumAreaRatio_{0.03f};
  std::atomic<bool> recording_{false};
  std::atomic<int> frameRateLimit_{-1};
  // Written by the display's thread whenever it publishes a frame.
  mutable std::mutex viewMutex_;
  ViewScale view_;
  std::atomic<int> liveReduction_{1};
  // Counts the frames the display's thread has made current, for the getters waiting for a whole one.
  std::atomic<std::uint64_t> framesTaken_{0};

  // Owned by the display's thread.
  std::unique_ptr<CObjectContainer> container_;
  cv::Mat current_;  // full resolution; empty until decoded when the live view is reduced
  // For a reduced live view: the camera's frame current_ is made from, with its trim and turn.
  SharedRawFrame currentSource_;
  // For an uncompressed frame shown with outlines: the outlined frame and what they cover, from
  // which current_ is built when a getter asks for it.
  cv::Mat currentOutlined_;
  std::vector<std::pair<cv::Rect, cv::Mat>> currentUnder_;
  IntRect currentTrim_;
  int currentRotation_ = 0;
  std::atomic<int> shownRotation_{0};
  bool currentDamaged_ = false;
  std::vector<cv::RotatedRect> pages_;
  platform::TargetHandle parent_;
  std::uint64_t sequence_ = 0;

  // A frame's client area composed by the workers, to be shown as it is (see PublishIfChanged).
  cv::Mat composedByWorkers_;
  std::mutex shownMutex_;
  ShownFrame shown_;
  cv::Mat spareShown_;  // a composed frame's buffer the view gave back

  std::function<void()> frameReady_;
  int lastError_ = 0;
  std::atomic<platform::TargetHandle> target_{};
  platform::Event stopEvent_{platform::EventReset::kManual};
  // The hand-offs between the two workers, so neither waits out a poll interval per frame.
  platform::Event convertedReady_{platform::EventReset::kAuto};
  platform::Event convertedTaken_{platform::EventReset::kAuto};
  // Wakes the workers standing by: the first one took a frame.
  platform::Event firstWorkerTook_{platform::EventReset::kAuto};
  std::jthread coreThread_;
  std::jthread displayWorker_;
  static constexpr int kConversionWorkers = 2;
  std::jthread conversionWorkers_[kConversionWorkers];
};

}  // namespace orvane
