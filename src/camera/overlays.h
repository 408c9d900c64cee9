// Overlay objects drawn over the live picture and moved with the mouse: the selection rectangle
// and the picture-in-picture box. Geometry is kept in picture pixels so it stays on the same part
// of the picture at every zoom; mouse points arrive in view pixels (picture x scale, relative to
// the scaled picture's top-left). Thread-bound: used only on the display core's thread.
#pragma once

#include <cstdint>
#include <vector>

#include <opencv2/core.hpp>

namespace orvane {

// Cursor shapes the picture asks its view to show.
enum class CursorShape { Arrow, Cross, SizeAll, SizeNWSE, SizeNS, SizeNESW, SizeWE };

// An integer rectangle with exclusive right and bottom edges, as the window system counts them.
struct IntRect {
  int left = 0;
  int top = 0;
  int right = 0;
  int bottom = 0;
  int Width() const { return right - left; }
  int Height() const { return bottom - top; }
  bool Contains(cv::Point p) const { return p.x >= left && p.x < right && p.y >= top && p.y < bottom; }
  friend bool operator==(const IntRect&, const IntRect&) = default;
};

// Half away from zero, the rounding every overlay and view computation uses.
int RoundHalfAway(double value);

// What the objects need of the picture that holds them.
class IOverlayOwner {
 public:
  virtual ~IOverlayOwner() = default;
  virtual void InvalidateViewRect(const IntRect& viewRect) = 0;
  virtual bool GetPictureSize(cv::Size* size) const = 0;
  virtual void SetCursor(CursorShape shape) = 0;
};

class CDrawObject {
 public:
  explicit CDrawObject(int penWidth) : penWidth_(penWidth) {}
  virtual ~CDrawObject() = default;
  CDrawObject(const CDrawObject&) = delete;
  CDrawObject& operator=(const CDrawObject&) = delete;

  virtual bool OnLButtonDown(cv::Point viewPoint, float scale) = 0;
  virtual void OnMouseMove(cv::Point viewPoint, float scale) = 0;
  virtual void OnLButtonUp(cv::Point viewPoint, float scale) = 0;
  // Draws into `target`, whose pixel (0, 0) is the view point (view.left, view.top).
  virtual void Draw(cv::Mat& target, const IntRect& view, float scale) = 0;
  virtual bool HitTest(cv::Point /*viewPoint*/, float /*scale*/) { return false; }
  bool SetSelected(bool selected);
  bool IsSelected() const { return selected_; }

  // Turn every point with a picture of `pictureSize` (its size before the turn).
  void RotateClockwise(cv::Size pictureSize);
  void RotateCounterClockwise(cv::Size pictureSize);
  void Rotate180(cv::Size pictureSize);

  // The bounding rectangle in picture pixels.
  IntRect GetRect() const { return BoundsAt(1.0f); }
  virtual void SetRect(int left, int top, int right, int bottom);

  void SetOwner(IOverlayOwner* owner) { owner_ = owner; }
  const std::vector<cv::Point2f>& Points() const { return points_; }

 protected:
  // Scaled, rounded and normalised bounding rectangle; (0, 0, 0, 0) without points.
  IntRect BoundsAt(float scale) const;

  bool selected_ = false;
  int penWidth_;
  cv::Scalar colour_{255, 0, 0};  // blue, in BGR
  std::vector<cv::Point2f> points_;
  IOverlayOwner* owner_ = nullptr;
};

// The selection rectangle: drawn out with the button held, then moved or resized by eight handles.
class CTrackRectangle : public CDrawObject {
 public:
  static constexpr int kMinimumSide = 80;  // picture pixels
  static constexpr int kNoHit = -2;
  static constexpr int kInside = -1;

  CTrackRectangle() : CDrawObject(3) {}

  bool OnLButtonDown(cv::Point viewPoint, float scale) override;
  void OnMouseMove(cv::Point viewPoint, float scale) override;
  void OnLButtonUp(cv::Point viewPoint, float scale) override;
  void Draw(cv::Mat& target, const IntRect& view, float scale) override;
  bool HitTest(cv::Point viewPoint, float scale) override;
  void SetRect(int left, int top, int right, int bottom) override;

  bool IsCreated() const { return created_; }
  int HitCode() const { return hitCode_; }
  // Handle positions in view pixels: 0 top-left, then clockwise to 7 left centre.
  std::vector<cv::Point> Handles(float scale) const;

 protected:
  void DrawFrame(cv::Mat& target, const IntRect& view, float scale);
  void Move(cv::Point last, cv::Point current, float scale, int hitCode);
  void InvalidateAround(int margin, float scale);
  static CursorShape CursorFor(int hitCode);

  bool created_ = false;
  bool dragging_ = false;
  cv::Point lastPoint_;
  int hitCode_ = kNoHit;
};

// The picture-in-picture box: shows the second camera's frames; moved, never resized. With a
// detected page its composed picture is tilted by the page's angle.
class CSubImageBox : public CTrackRectangle {
 public:
  CSubImageBox();

  bool OnLButtonDown(cv::Point viewPoint, float scale) override;
  void OnMouseMove(cv::Point viewPoint, float scale) override;
  void Draw(cv::Mat& target, const IntRect& view, float scale) override;

  // Draws the box's picture into the picture the display hands out, which is at `scale` of the
  // full resolution (1, or less for a recording's reduced picture).
  void ComposeInto(cv::Mat& target, float scale = 1.0f) const;
  void SetSourceFrame(const std::uint8_t* bgr24, int width, int height);
  void SetTurnedDisplay(bool on, double angleRadians) {
    turned_ = on;
    angle_ = angleRadians;
  }
  bool HasPicture() const { return !picture_.empty(); }

 private:
  // A dragged box stays over the picture, so its inset is never cut off in the handed-out pictures.
  void KeepInsidePicture();
  // The angle brought into -45..+45 degrees.
  double NormalisedAngle() const;

  bool turned_ = false;
  double angle_ = 0.0;
  float lastScale_ = 1.0f;
  cv::Mat picture_;
};

}  // namespace orvane
