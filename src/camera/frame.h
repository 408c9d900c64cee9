// Frame buffers handed between the camera's streaming thread, the conversion worker and the
// display worker, and the pixel conversions into packed top-down BGR24.
#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <opencv2/core.hpp>

class QImage;

namespace orvane {

// Pixel format of the bytes in a frame slot. RGB24 is the bottom-up layout of the camera
// stack's RGB24; the converted slots hold top-down BGR24 under the same tag.
enum class FrameSubtype { None, YUY2, MJPG, RGB24 };

// One frame handed from one thread to another without a lock. The state word is the only
// synchronisation: a writer fills the fields while the state is free or taken and publishes with
// a release store of "filled"; a reader acquires "filled", copies out, then stores "taken".
class CFrameSlot {
 public:
  static constexpr int kFree = -1;
  static constexpr int kFilled = 0;
  static constexpr int kTaken = 1;

  CFrameSlot() = default;
  CFrameSlot(const CFrameSlot&) = delete;
  CFrameSlot& operator=(const CFrameSlot&) = delete;

  // Copies `length` bytes and publishes them as filled. The buffer grows (with 64 spare bytes)
  // only when a longer frame arrives, so steady-state stores never allocate. Refuses (false,
  // nothing changed) a null source with a positive length or a negative length.
  bool Store(int length, FrameSubtype subtype, const std::uint8_t* bytes, int width, int height);

  // Writes the frame in place: `fill` gets a buffer of at least `length` bytes and returns
  // whether it produced the frame; only then is the slot published. Saves the copy a separate
  // conversion buffer would cost on large frames.
  template <class Fill>
  bool StoreInPlace(int length, FrameSubtype subtype, int width, int height, Fill&& fill) {
    if (length < 0 || !Reserve(length)) return false;
    if (!fill(buffer_.get())) return false;
    Publish(length, subtype, width, height);
    return true;
  }

  // Where a converted frame came from: the factor by which each side was reduced in decoding,
  // and the compressed frame itself, kept so the full resolution can be decoded on demand.
  // Set by the writer before it stores; Store resets both (factor 1, no source).
  void SetOrigin(int reduction, std::shared_ptr<const std::vector<std::uint8_t>> source) {
    reduction_ = reduction;
    source_ = std::move(source);
  }
  int Reduction() const { return reduction_; }
  const std::shared_ptr<const std::vector<std::uint8_t>>& Source() const { return source_; }

  // Moves the frame of `filled` (which the caller holds filled) here without copying: the two
  // buffers change places, this slot is published and `filled` marked taken. Refused (false,
  // nothing changed) while this slot is still filled or when `filled` is not.
  bool TakeOver(CFrameSlot& filled);

  // The frame leaves a filled slot (held by the caller) without a copy: its buffer is swapped
  // with `spare`, a buffer of `*capacity` usable bytes plus the 64 spare ones (or null with 0), and
  // the slot is marked taken. Returns the frame's buffer, `*capacity` set to its usable bytes.
  // With `keepFilled` the slot stays filled, so nothing is stored into it, until a later exchange
  // gives it a buffer.
  std::unique_ptr<std::uint8_t[]> ExchangeBuffer(std::unique_ptr<std::uint8_t[]> spare, int* capacity,
                                                 bool keepFilled = false);

  int State() const { return state_.load(std::memory_order_acquire); }
  void MarkTaken() { state_.store(kTaken, std::memory_order_release); }

  // Valid for the thread that owns the slot by its state (the reader while filled).
  const std::uint8_t* Data() const { return buffer_.get(); }
  int Length() const { return length_; }      // bytes of the current frame
  int Capacity() const { return capacity_; }  // the longest frame held so far
  int Width() const { return width_; }
  int Height() const { return height_; }
  FrameSubtype Subtype() const { return subtype_; }

 private:
  bool Reserve(int length);
  void Publish(int length, FrameSubtype subtype, int width, int height);

  std::unique_ptr<std::uint8_t[]> buffer_;
  int capacity_ = 0;
  int length_ = 0;
  int width_ = 0;
  int height_ = 0;
  FrameSubtype subtype_ = FrameSubtype::None;
  int reduction_ = 1;
  std::shared_ptr<const std::vector<std::uint8_t>> source_;
  std::atomic<int> state_{kFree};
};

// Writes a turned copy of a width x height BGR24 picture into `destination` (same byte count).
// Angles are multiples of 90 taken modulo 360; a negative angle or any other angle fails.
// 90 turns clockwise: source column x, row y goes to column (height - 1 - y), row x.
bool RotateBGR24(const std::uint8_t* source, int width, int height, int angle,
                 std::uint8_t* destination);

// Turns (x, y) about the rectangle's centre by its angle; rounds half up toward zero as the
// display code expects.
cv::Point RotatePoint(const cv::RotatedRect& rectangle, float x, float y);

// Integer BT.601 (studio range) YUY2 to BGR24, top row first. False when `length` is not
// width x height x 2 or the pixel count is odd; true without writing for an empty picture.
bool ConvertYUY2ToBGR24(const std::uint8_t* source, int length, int width, int height,
                        std::uint8_t* destination);

// Decodes a JPEG frame into packed BGR24. `capacity` is the destination's size in bytes: a frame
// whose picture does not fit is refused rather than written past the buffer. `reduction` 2, 4 or 8
// decodes each side at that fraction by the decoder's DCT scaling (sides rounded up), which saves
// most of the inverse transform and colour conversion of a large frame.
// A frame the camera ended early (or whose data went wrong on the way) still decodes, its missing
// rows filled in grey: `*damaged` (when given) tells it from a frame that decoded whole.
bool DecodeMJPGToBGR24(const std::uint8_t* source, int length, std::uint8_t* destination,
                       std::size_t capacity, int* width, int* height, int* rowStep, int reduction = 1,
                       bool* damaged = nullptr);

// Called as a picture is converted band by band: rows [0, rows) of the destination are final, and
// the last band of them is still in the processor's cache.
using RowsDone = std::function<void(int rows)>;

// DecodeMJPGToBGR24 (the same pixels, the same verdict on missing rows) through the decoder's
// scanline reading, band by band, calling `rowsDone` after each band: work on the decoded rows can
// follow them while they are in cache instead of reading the whole picture back from memory.
bool DecodeMJPGInBands(const std::uint8_t* source, int length, std::uint8_t* destination, std::size_t capacity,
                       int reduction, const RowsDone& rowsDone, bool* damaged = nullptr);

// A YUY2 frame converted to BGR24 at 1/`reduction` of each side (1, 2 or 4, dividing both sides), band by
// band as DecodeMJPGInBands: each pixel the rounded mean of the reduction x reduction pixels
// ConvertYUY2ToBGR24 gives under it, which is what ShrinkByAreaAverage makes of that conversion. The
// full-size picture is never held. False when the length is not width x height x 2 or the picture
// does not fit `capacity`.
bool ConvertYUY2InBands(const std::uint8_t* source, int length, int width, int height, int reduction,
                        std::uint8_t* destination, std::size_t capacity, const RowsDone& rowsDone);

// Reads the JPEG header only: the picture's size, or false when it is not a JPEG.
bool ReadMJPGSize(const std::uint8_t* source, int length, int* width, int* height);

// The reduction a width x height MJPG frame is decoded at when `wanted` is asked for: 2 or 4 where
// it divides both sides, so the reduced picture maps onto the full one exactly (trims, turns and
// page rectangles scale by the same whole factor); 1 otherwise.
int MjpgReduction(int wanted, int width, int height);

// One raw frame of width x height pixels converted into packed top-down BGR24 at `destination`
// (`capacity` bytes): YUY2, bottom-up RGB24, or MJPG decoded at 1/`reduction` of each side (a
// reduction MjpgReduction allows; a JPEG of another size than width x height is refused). False
// when nothing was converted. `*damaged` (when given) is set for an MJPG frame that decoded with
// rows missing (see DecodeMJPGToBGR24) and cleared for every other converted frame.
bool ConvertToBGR24(FrameSubtype subtype, const std::uint8_t* bytes, int length, int width, int height,
                    int reduction, std::uint8_t* destination, std::size_t capacity, bool* damaged = nullptr);

// Lets frames through no closer together than a rate allows: the first always, later ones only
// once 1000 / framesPerSecond ms have passed since the last one let through; a rate of 0 or less
// lets every frame through.
class FrameRateGate {
 public:
  bool Admit(int framesPerSecond);

 private:
  std::optional<std::chrono::steady_clock::time_point> last_;
};

// The conversion worker's step for one pair of slots: converts a filled raw slot into the
// converted slot when that one has been taken, then marks the raw slot taken (also after a
// failed conversion, so the next camera frame can come in). An MJPG frame whose picture differs
// from the raw slot's size is skipped. A frame-rate limit of 1 or more skips MJPG frames that
// arrive sooner than 1000 / limit ms after the last decoded one. True when a converted frame was
// stored.
// With a reduction of 2 or 4, MJPG frames whose sides it divides are decoded at that fraction of
// each side and stored with their compressed bytes (CFrameSlot::SetOrigin); all else is stored
// at full size.
class FrameConverter {
 public:
  bool Convert(CFrameSlot& raw, CFrameSlot& converted);
  void SetFrameRateLimit(int framesPerSecond) { rateLimit_ = framesPerSecond; }
  void SetReduction(int reduction) { reduction_ = reduction; }

 private:
  int rateLimit_ = 0;
  FrameRateGate mjpgGate_;
  int reduction_ = 1;
};

// Mat and QImage copies of 3-channel 8-bit pictures (the image's own row pitch is honoured).
void CopyMatToImage(const cv::Mat& matrix, QImage& image);
void CopyImageToMat(const QImage& image, cv::Mat& matrix);

// Between UTF-8 and the GBK code page the camera code's legacy texts use; invalid input gives "".
std::string WideStringToAnsi(const std::string& utf8);
std::string AnsiToWide(const std::string& gbk);

}  // namespace orvane

namespace qvcam {

// A packed top-down BGR24 picture (width x 3 bytes per row).
class CBGR24Data {
 public:
  CBGR24Data() = default;
  virtual ~CBGR24Data() = default;
  CBGR24Data(const CBGR24Data& other);
  CBGR24Data& operator=(const CBGR24Data& other);

  // Copies width x height x 3 bytes; the array is kept when the size is the same either way round.
  bool SetData(int width, int height, const std::uint8_t* pixels);
  bool GetSize(int* width, int* height) const;
  // A deep copy of [left, right) x [top, bottom); empty when outside the picture or inverted.
  cv::Mat CropToMat(int left, int top, int right, int bottom) const;
  cv::Mat ToMat() const { return CropToMat(0, 0, width_, height_); }
  // Stores a turned copy of a width x height picture (see orvane::RotateBGR24).
  bool SetRotated(int angle, int width, int height, const std::uint8_t* pixels);

  const std::uint8_t* Pixels() const { return pixels_.get(); }
  int Width() const { return width_; }
  int Height() const { return height_; }

 private:
  bool Reserve(int width, int height);

  std::unique_ptr<std::uint8_t[]> pixels_;
  int width_ = 0;
  int height_ = 0;
};

}  // namespace qvcam
