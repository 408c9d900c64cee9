#include "camera/overlays.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include <opencv2/imgproc.hpp>

namespace orvane {

namespace {

constexpr double kPi = 3.141592653589793;
constexpr int kHandleReach = 10;  // a handle is hit within this many view pixels each way

cv::Point2f PointFromView(cv::Point view, float scale) {
  if (scale >= 1.0f) return {view.x / scale, view.y / scale};
  // Below scale 1 a view pixel covers several picture pixels: aim at the middle of them.
  const int k = static_cast<int>(0.5f / scale);
  return {view.x / scale + k, view.y / scale + k};
}

// Draws a rectangle the way the window system does: the pen lies on the edges of [left, right).
void DrawOutline(cv::Mat& target, const IntRect& r, cv::Point origin, const cv::Scalar& colour,
                 int width) {
  if (r.Width() <= 0 || r.Height() <= 0) return;
  cv::rectangle(target, cv::Point(r.left, r.top) + origin, cv::Point(r.right - 1, r.bottom - 1) + origin,
                colour, width, cv::LINE_8);
}

// Pastes `picture` stretched into `r` (coordinates of `target` after adding `origin`).
void StretchInto(cv::Mat& target, const cv::Mat& picture, const IntRect& r, cv::Point origin,
                 bool smooth) {
  if (r.Width() <= 0 || r.Height() <= 0 || picture.empty()) return;
  const cv::Rect place(r.left + origin.x, r.top + origin.y, r.Width(), r.Height());
  const cv::Rect visible = place & cv::Rect(0, 0, target.cols, target.rows);
  if (visible.empty()) return;
  cv::Mat stretched;
  cv::resize(picture, stretched, place.size(), 0, 0, smooth ? cv::INTER_AREA : cv::INTER_NEAREST);
  stretched(visible - place.tl()).copyTo(target(visible));
}

}  // namespace

int RoundHalfAway(double value) {
  return value > 0 ? static_cast<int>(value + 0.5) : static_cast<int>(value - 0.5);
}

bool CDrawObject::SetSelected(bool selected) {
  const bool previous = selected_;
  selected_ = selected;
  return previous;
}

void CDrawObject::RotateClockwise(cv::Size size) {
  for (cv::Point2f& p : points_) p = {size.height - 1 - p.y, p.x};
}

void CDrawObject::RotateCounterClockwise(cv::Size size) {
  for (cv::Point2f& p : points_) p = {p.y, size.width - 1 - p.x};
}

void CDrawObject::Rotate180(cv::Size size) {
  for (cv::Point2f& p : points_) p = {size.width - 1 - p.x, size.height - 1 - p.y};
}

void CDrawObject::SetRect(int left, int top, int right, int bottom) {
  points_ = {cv::Point2f(static_cast<float>(left), static_cast<float>(top)),
             cv::Point2f(static_cast<float>(right), static_cast<float>(bottom))};
}

IntRect CDrawObject::BoundsAt(float scale) const {
  if (points_.empty()) return {};
  IntRect r{50000, 50000, -50000, -50000};
  for (const cv::Point2f& p : points_) {
    const int x = RoundHalfAway(p.x * scale);
    const int y = RoundHalfAway(p.y * scale);
    r.left = std::min(r.left, x);
    r.right = std::max(r.right, x);
    r.top = std::min(r.top, y);
    r.bottom = std::max(r.bottom, y);
  }
  return r;
}

// ---- CTrackRectangle ----

void CTrackRectangle::SetRect(int left, int top, int right, int bottom) {
  CDrawObject::SetRect(left, top, right, bottom);
  created_ = true;
}

std::vector<cv::Point> CTrackRectangle::Handles(float scale) const {
  const IntRect b = BoundsAt(scale);
  const int cx = (b.left + b.right) / 2;
  const int cy = (b.top + b.bottom) / 2;
  return {{b.left, b.top},          {cx, b.top},          {b.right - 1, b.top},
          {b.right - 1, cy},        {b.right - 1, b.bottom - 1}, {cx, b.bottom - 1},
          {b.left, b.bottom - 1},   {b.left, cy}};
}

CursorShape CTrackRectangle::CursorFor(int hitCode) {
  switch (hitCode) {
    case kInside: return CursorShape::SizeAll;
    case 0: case 4: return CursorShape::SizeNWSE;
    case 1: case 5: return CursorShape::SizeNS;
    case 2: case 6: return CursorShape::SizeNESW;
    default: return CursorShape::SizeWE;  // 3 and 7
  }
}

bool CTrackRectangle::OnLButtonDown(cv::Point viewPoint, float scale) {
  dragging_ = true;
  lastPoint_ = viewPoint;
  if (!created_) {
    points_ = {PointFromView(viewPoint, scale)};
    return selected_;
  }
  selected_ = BoundsAt(scale).Contains(viewPoint);
  for (const cv::Point& h : Handles(scale)) {
    if (std::abs(viewPoint.x - h.x) <= kHandleReach && std::abs(viewPoint.y - h.y) <= kHandleReach)
      selected_ = true;
  }
  return selected_;
}

void CTrackRectangle::InvalidateAround(int margin, float scale) {
  if (owner_ == nullptr || points_.size() != 2) return;
  IntRect r = BoundsAt(scale);
  r.left -= margin;
  r.top -= margin;
  r.right += margin;
  r.bottom += margin;
  owner_->InvalidateViewRect(r);
}

void CTrackRectangle::OnMouseMove(cv::Point viewPoint, float scale) {
  const int dx = viewPoint.x - lastPoint_.x;
  const int dy = viewPoint.y - lastPoint_.y;
  if (!created_) {
    if (owner_ != nullptr) owner_->SetCursor(CursorShape::Cross);
    if (dragging_ && !points_.empty()) {
      points_.resize(1);
      points_.push_back(PointFromView(viewPoint, scale));
      InvalidateAround(std::max(std::abs(dx), std::abs(dy)) + std::max(RoundHalfAway(penWidth_ * scale), 5) + 1,
                       scale);
      lastPoint_ = viewPoint;
    }
    return;
  }
  if (selected_) {
    if (!dragging_) {
      hitCode_ = BoundsAt(scale).Contains(viewPoint) ? kInside : kNoHit;
      const std::vector<cv::Point> handles = Handles(scale);
      for (int i = 0; i < static_cast<int>(handles.size()); ++i) {
        if (std::abs(viewPoint.x - handles[i].x) <= kHandleReach &&
            std::abs(viewPoint.y - handles[i].y) <= kHandleReach)
          hitCode_ = i;
      }
    }
    if (hitCode_ != kNoHit && owner_ != nullptr) owner_->SetCursor(CursorFor(hitCode_));
    if (dragging_) Move(lastPoint_, viewPoint, scale, hitCode_);
  }
  if (dragging_)
    InvalidateAround(std::max(std::abs(dx), std::abs(dy)) + std::max(RoundHalfAway(penWidth_ * scale), 5) + 1,
                     scale);
  lastPoint_ = viewPoint;
}

void CTrackRectangle::OnLButtonUp(cv::Point viewPoint, float scale) {
  if (!created_) {
    if (!dragging_ || points_.empty()) return;
    const cv::Point2f start = points_.front();
    cv::Point2f end = PointFromView(viewPoint, scale);
    if (std::abs(start.x - end.x) < kMinimumSide) end.x = end.x > start.x ? start.x + kMinimumSide : start.x - kMinimumSide;
    if (std::abs(start.y - end.y) < kMinimumSide) end.y = end.y > start.y ? start.y + kMinimumSide : start.y - kMinimumSide;
    points_ = {start, end};
    IntRect r = GetRect();
    cv::Size picture;
    if (owner_ != nullptr && owner_->GetPictureSize(&picture)) {
      const int w = picture.width;
      const int h = picture.height;
      const bool inside = r.left >= 0 && r.top >= 0 && r.left < w && r.top < h && r.right >= 0 &&
                          r.bottom >= 0 && r.right <= w && r.bottom <= h;
      if (!inside) {
        if (r.left < 0) r.left = 0;
        if (r.top < 0) r.top = 0;
        if (r.left >= w) r.left = w - kMinimumSide;
        if (r.top >= h) r.top = h - kMinimumSide;
        if (r.right < 0) r.right = kMinimumSide;
        if (r.bottom < 0) r.bottom = kMinimumSide;
        if (r.right > w) r.right = w;
        if (r.bottom > h) r.bottom = h;
        CDrawObject::SetRect(r.left, r.top, r.right, r.bottom);
      }
    }
    created_ = true;
    selected_ = true;
    dragging_ = false;
    lastPoint_ = viewPoint;
    return;
  }
  dragging_ = false;
  lastPoint_ = viewPoint;
}

bool CTrackRectangle::HitTest(cv::Point viewPoint, float scale) {
  if (!created_) return true;
  if (!selected_) return false;
  return BoundsAt(scale).Contains(viewPoint) || hitCode_ != kNoHit;
}

void CTrackRectangle::Move(cv::Point last, cv::Point current, float scale, int hitCode) {
  if (points_.size() != 2) return;
  const float dx = (current.x - last.x) / scale;
  const float dy = (current.y - last.y) / scale;
  const float oldLeft = std::min(points_[0].x, points_[1].x);
  const float oldRight = std::max(points_[0].x, points_[1].x);
  const float oldTop = std::min(points_[0].y, points_[1].y);
  const float oldBottom = std::max(points_[0].y, points_[1].y);
  float left = oldLeft, right = oldRight, top = oldTop, bottom = oldBottom;
  switch (hitCode) {
    case 0: left += dx; top += dy; break;
    case 1: top += dy; break;
    case 2: right += dx; top += dy; break;
    case 3: right += dx; break;
    case 4: right += dx; bottom += dy; break;
    case 5: bottom += dy; break;
    case 6: left += dx; bottom += dy; break;
    case 7: left += dx; break;
    case kInside: left += dx; right += dx; top += dy; bottom += dy; break;
    default: return;
  }
  if (hitCode >= 0 && (right - kMinimumSide < left || top >= bottom - kMinimumSide)) {
    // Handles may not shrink a rectangle below the minimum, but one already smaller may grow.
    if (right - left < oldRight - oldLeft || bottom - top < oldBottom - oldTop) return;
  }
  points_ = {cv::Point2f(left, top), cv::Point2f(right, bottom)};
}

void CTrackRectangle::Draw(cv::Mat& target, const IntRect& view, float scale) {
  IntRect b = BoundsAt(scale);
  b.left -= 1;
  b.top -= 1;
  b.right += 1;
  b.bottom += 1;
  if (b.Width() == 0 || b.Height() == 0) {
    b.left -= 1;
    b.top -= 1;
    b.right += 1;
    b.bottom += 1;
  }
  const cv::Point origin(-view.left, -view.top);
  DrawOutline(target, b, origin, colour_, 3);
  if (selected_) DrawFrame(target, view, scale);
}

void CTrackRectangle::DrawFrame(cv::Mat& target, const IntRect& view, float scale) {
  if (!selected_) return;
  const cv::Point origin(-view.left, -view.top);
  DrawOutline(target, BoundsAt(scale), origin, colour_, penWidth_);
  for (const cv::Point& h : Handles(scale)) {
    const IntRect box{h.x - 5, h.y - 5, h.x + 6, h.y + 6};
    cv::rectangle(target, cv::Point(box.left, box.top) + origin, cv::Point(box.right - 1, box.bottom - 1) + origin,
                  cv::Scalar(255, 255, 255), cv::FILLED);
    DrawOutline(target, box, origin, colour_, 1);
  }
}

// ---- CSubImageBox ----

CSubImageBox::CSubImageBox() {
  penWidth_ = 5;
  created_ = true;
}

bool CSubImageBox::OnLButtonDown(cv::Point viewPoint, float scale) {
  dragging_ = true;
  selected_ = BoundsAt(scale).Contains(viewPoint);
  lastPoint_ = viewPoint;
  return selected_;
}

void CSubImageBox::OnMouseMove(cv::Point viewPoint, float scale) {
  if (selected_) {
    if (!dragging_) hitCode_ = BoundsAt(scale).Contains(viewPoint) ? kInside : kNoHit;
    if (hitCode_ != kNoHit && owner_ != nullptr) owner_->SetCursor(CursorFor(hitCode_));
    if (dragging_) {
      Move(lastPoint_, viewPoint, scale, hitCode_);
      KeepInsidePicture();
    }
  }
  if (dragging_) {
    const IntRect b = BoundsAt(scale);
    InvalidateAround(std::max(b.Width(), b.Height()), scale);
  }
  lastPoint_ = viewPoint;
}

void CSubImageBox::KeepInsidePicture() {
  cv::Size picture;
  if (owner_ == nullptr || points_.size() != 2 || !owner_->GetPictureSize(&picture)) return;
  const float left = std::min(points_[0].x, points_[1].x);
  const float top = std::min(points_[0].y, points_[1].y);
  const float width = std::abs(points_[1].x - points_[0].x);
  const float height = std::abs(points_[1].y - points_[0].y);
  const float x = std::clamp(left, 0.0f, std::max(0.0f, picture.width - width));
  const float y = std::clamp(top, 0.0f, std::max(0.0f, picture.height - height));
  points_ = {cv::Point2f(x, y), cv::Point2f(x + width, y + height)};
}

double CSubImageBox::NormalisedAngle() const {
  double t = angle_;
  if (t >= kPi / 4) t -= kPi / 2;
  else if (t <= -kPi / 4) t += kPi / 2;
  return t;
}

void CSubImageBox::Draw(cv::Mat& target, const IntRect& view, float scale) {
  lastScale_ = scale;
  if (picture_.empty()) return;
  const IntRect b = BoundsAt(scale);
  const cv::Point origin(-view.left, -view.top);
  StretchInto(target, picture_, b, origin, scale <= 1.0f);
  if (selected_) DrawOutline(target, b, origin, colour_, 1);
  if (turned_) {
    const double t = NormalisedAngle();
    const double cx = (b.left + b.right) / 2.0;
    const double cy = (b.top + b.bottom) / 2.0;
    const cv::Point2d corners[4] = {{double(b.left), double(b.top)}, {double(b.right), double(b.top)},
                                    {double(b.right), double(b.bottom)}, {double(b.left), double(b.bottom)}};
    std::vector<cv::Point> outline;
    for (const cv::Point2d& c : corners) {
      const double dx = c.x - cx;
      const double dy = c.y - cy;
      outline.emplace_back(static_cast<int>(dx * std::cos(t) - dy * std::sin(t) + cx) + origin.x,
                           static_cast<int>(dx * std::sin(t) + dy * std::cos(t) + cy) + origin.y);
    }
    cv::polylines(target, outline, true, cv::Scalar(0, 255, 0), 3, cv::LINE_8);
  }
}

void CSubImageBox::ComposeInto(cv::Mat& target, float scale) const {
  if (picture_.empty() || target.empty() || scale <= 0) return;
  const IntRect r = BoundsAt(scale);
  if (!turned_) {
    StretchInto(target, picture_, r, {0, 0}, true);
    return;
  }
  // The tilted picture keeps its own size in the full picture, so it shrinks with a reduced one.
  cv::Mat picture = picture_;
  if (scale != 1.0f) {
    const cv::Size size(std::max(1, RoundHalfAway(picture_.cols * scale)), std::max(1, RoundHalfAway(picture_.rows * scale)));
    cv::resize(picture_, picture, size, 0, 0, cv::INTER_AREA);
  }
  const double t = NormalisedAngle();
  const int u = picture.cols;
  const int v = picture.rows;
  const int c = static_cast<int>(std::sqrt(double(u) * u + double(v) * v));
  const cv::Rect placed((c - u) / 2, (c - v) / 2, u, v);
  cv::Mat square(c, c, CV_8UC3, cv::Scalar::all(255));
  picture.copyTo(square(placed));
  cv::Mat mask = cv::Mat::zeros(c, c, CV_8UC1);
  mask(placed).setTo(255);
  const cv::Mat turn = cv::getRotationMatrix2D(cv::Point2f(c / 2.0f, c / 2.0f), t * (-180.0 / kPi), 1.0);
  cv::Mat turnedPicture, turnedMask;
  cv::warpAffine(square, turnedPicture, turn, square.size(), cv::INTER_LINEAR, cv::BORDER_CONSTANT, 0);
  cv::warpAffine(mask, turnedMask, turn, mask.size(), cv::INTER_LINEAR, cv::BORDER_CONSTANT, 0);
  const int offsetX = r.left - (c - r.Width()) / 2;
  const int offsetY = r.top - (c - r.Height()) / 2;
  for (int i = 0; i < c; ++i) {
    const int row = offsetY + i;
    if (row < 0 || row >= target.rows) continue;
    const std::uint8_t* m = turnedMask.ptr<std::uint8_t>(i);
    const cv::Vec3b* from = turnedPicture.ptr<cv::Vec3b>(i);
    cv::Vec3b* to = target.ptr<cv::Vec3b>(row);
    for (int j = 0; j < c; ++j) {
      const int column = offsetX + j;
      if (m[j] == 255 && column >= 0 && column < target.cols) to[column] = from[j];
    }
  }
}

void CSubImageBox::SetSourceFrame(const std::uint8_t* bgr24, int width, int height) {
  if (bgr24 == nullptr || width <= 0 || height <= 0) return;
  picture_.create(height, width, CV_8UC3);
  for (int y = 0; y < height; ++y)
    std::copy_n(bgr24 + static_cast<std::size_t>(y) * width * 3, width * 3, picture_.ptr<std::uint8_t>(y));
  if (points_.empty()) points_.emplace_back(0.0f, 0.0f);
  if (points_.size() == 1) points_.emplace_back(static_cast<float>(width), static_cast<float>(height));
  InvalidateAround(RoundHalfAway(penWidth_ * lastScale_), lastScale_);
}

}  // namespace orvane
