#include "camera/picture_container.h"

#include <algorithm>
#include <cmath>
#include <optional>
#include <vector>

#include <opencv2/imgproc.hpp>

#include "camera/screen_picture.h"

namespace orvane {

namespace {

bool IsLadderStep(float scale) {
  return std::find(std::begin(CObjectContainer::kLadder), std::end(CObjectContainer::kLadder), scale) !=
         std::end(CObjectContainer::kLadder);
}

// The smallest ladder step above `scale` (8 when there is none).
float StepAbove(float scale) {
  for (float step : CObjectContainer::kLadder)
    if (step > scale) return step;
  return CObjectContainer::kLadder[std::size(CObjectContainer::kLadder) - 1];
}

// Keeps [low, high) inside [0, limit): shifted first, then cut.
void ClampSpan(int& low, int& high, int limit) {
  if (low < 0) {
    high -= low;
    low = 0;
    if (high > limit) high = limit;
  } else if (high > limit) {
    low -= high - limit;
    high = limit;
    if (low < 0) low = 0;
  }
}

void ClampView(IntRect& view, int scaledWidth, int scaledHeight) {
  ClampSpan(view.left, view.right, scaledWidth);
  ClampSpan(view.top, view.bottom, scaledHeight);
}

// One axis of the view: a picture no larger than the window is centred and shown whole; a larger
// one fills the window with the scaled picture point `scaledAnchor` under `windowAnchor`.
void PlaceAxis(int scaled, int client, float scaledAnchor, int windowAnchor, int& destinationLow,
               int& destinationHigh, int& viewLow, int& viewHigh) {
  if (scaled <= client) {
    destinationLow = (client - scaled) / 2;
    destinationHigh = destinationLow + scaled;
    viewLow = 0;
    viewHigh = scaled;
  } else {
    destinationLow = 0;
    destinationHigh = client;
    viewLow = RoundHalfAway(scaledAnchor) - windowAnchor;
    viewHigh = viewLow + client;
  }
}

}  // namespace

CObjectContainer::~CObjectContainer() { active_ = nullptr; }

float CObjectContainer::FitScale(cv::Size picture, cv::Size client) {
  if (client.width <= 0 || picture.width <= 0 || picture.height <= 0) return 1.0f;
  const float fit = std::min(static_cast<float>(client.height) / picture.height,
                             static_cast<float>(client.width) / picture.width);
  return fit > 1.0f ? 1.0f : fit;
}

ViewPlacement CObjectContainer::ComputeView(cv::Size picture, float scale, cv::Point windowAnchor,
                                            cv::Point pictureAnchor, cv::Size client) {
  ViewPlacement p;
  const float s = scale < 0 ? 1.0f : scale;
  p.scale = s;
  const int w = picture.width;
  const int h = picture.height;
  if (pictureAnchor.x < 0 || pictureAnchor.x > w || pictureAnchor.y < 0 || pictureAnchor.y > h)
    pictureAnchor = {w / 2, h / 2};
  if (windowAnchor.x < 0 || windowAnchor.x > client.width || windowAnchor.y < 0 || windowAnchor.y > client.height)
    windowAnchor = {client.width / 2, client.height / 2};
  const int sw = static_cast<int>(w * s);
  const int sh = static_cast<int>(h * s);
  IntRect& v = p.view;
  IntRect& d = p.destination;
  PlaceAxis(sw, client.width, pictureAnchor.x * s, windowAnchor.x, d.left, d.right, v.left, v.right);
  PlaceAxis(sh, client.height, pictureAnchor.y * s, windowAnchor.y, d.top, d.bottom, v.top, v.bottom);
  ClampView(v, sw, sh);
  return p;
}

namespace {

// At a scale of 1 or below: the part of the picture that `region` of the view shows, copied when
// it has the region's size and shrunk to it otherwise. Nothing when the region is empty, the
// scale no ladder step above 1 or the part outside the picture.
std::optional<cv::Rect> PartShown(const cv::Mat& picture, const IntRect& region, float scale) {
  if (picture.empty() || scale > 1.0f || !IsLadderStep(scale) || region.Width() <= 0 || region.Height() <= 0)
    return std::nullopt;
  const int x0 = static_cast<int>(region.left / scale);
  const int y0 = static_cast<int>(region.top / scale);
  const int x1 = std::min(static_cast<int>(region.right / scale), picture.cols);
  const int y1 = std::min(static_cast<int>(region.bottom / scale), picture.rows);
  if (x0 < 0 || y0 < 0 || x1 <= x0 || y1 <= y0) return std::nullopt;
  return cv::Rect(x0, y0, x1 - x0, y1 - y0);
}

// The part copied, or shrunk to `size`.
void RenderPart(const cv::Mat& part, cv::Mat& out, cv::Size size) {
  if (part.size() == size) part.copyTo(out);
  else ShrinkByAreaAverage(part, out, size);
}

}  // namespace

cv::Mat CObjectContainer::RenderRegion(const cv::Mat& picture, const IntRect& region, float scale) {
  if (picture.empty() || !IsLadderStep(scale) || region.Width() <= 0 || region.Height() <= 0) return {};
  if (scale <= 1.0f) {
    const std::optional<cv::Rect> part = PartShown(picture, region, scale);
    if (!part) return {};
    cv::Mat out;
    RenderPart(picture(*part), out, {region.Width(), region.Height()});
    return out;
  }
  // Each picture pixel becomes a k x k block of screen pixels; view pixel X shows column X / k.
  const int k = static_cast<int>(scale);
  if (region.left < 0 || region.top < 0 || (region.right - 1) / k >= picture.cols ||
      (region.bottom - 1) / k >= picture.rows)
    return {};
  cv::Mat out(region.Height(), region.Width(), CV_8UC3);
  std::vector<int> columns(region.Width());
  for (int x = 0; x < region.Width(); ++x) columns[x] = (region.left + x) / k;
  for (int y = 0; y < region.Height(); ++y) {
    const cv::Vec3b* from = picture.ptr<cv::Vec3b>((region.top + y) / k);
    cv::Vec3b* to = out.ptr<cv::Vec3b>(y);
    for (int x = 0; x < region.Width(); ++x) to[x] = from[columns[x]];
  }
  return out;
}

void CObjectContainer::Place(float scale, cv::Point windowAnchor, cv::Point pictureAnchor) {
  placement_ = ComputeView(pictureSize_, scale, windowAnchor, pictureAnchor, client_);
  scale_ = placement_.scale;
}

void CObjectContainer::RenderFit() {
  const int sw = static_cast<int>(pictureSize_.width * scale_);
  const int sh = static_cast<int>(pictureSize_.height * scale_);
  cleanPending_ = false;
  if (picture_.empty() || sw <= 0 || sh <= 0) {
    clean_.release();
    return;
  }
  // A shrink waits for its first use: the view composes it straight into its frame.
  if (scale_ * reduction_ <= 1.0f) {
    pendingSource_ = cv::Rect(0, 0, picture_.cols, picture_.rows);
    pendingSize_ = {sw, sh};
    cleanPending_ = true;
  } else {
    cv::resize(picture_, clean_, {sw, sh}, 0, 0, cv::INTER_NEAREST);
  }
  dirty_ = true;
}

const cv::Mat& CObjectContainer::CleanView() const {
  if (cleanPending_) {
    RenderPart(picture_(pendingSource_), clean_, pendingSize_);
    cleanPending_ = false;
  }
  return clean_;
}

void CObjectContainer::ExpandIfZoomedPast() {
  if (reduction_ == 1 || fitMode_) return;
  const float frameScale = scale_ * reduction_;
  if (frameScale <= 1.0f && IsLadderStep(frameScale)) return;
  cv::Mat full;
  cv::resize(picture_, full, pictureSize_, 0, 0, cv::INTER_NEAREST);
  picture_ = full;
  reduction_ = 1;
}

void CObjectContainer::RenderView() {
  ExpandIfZoomedPast();
  // View pixels are picture pixels x scale, that is frame pixels x scale x reduction.
  cleanPending_ = false;
  dirty_ = true;
  const float scale = scale_ * reduction_;
  const IntRect& v = placement_.view;
  // A copy or a shrink of part of the frame waits for its first use, as the fitted shrink does.
  if (const std::optional<cv::Rect> part = PartShown(picture_, v, scale)) {
    pendingSource_ = *part;
    pendingSize_ = {v.Width(), v.Height()};
    cleanPending_ = true;
    return;
  }
  clean_ = RenderRegion(picture_, v, scale);
}

void CObjectContainer::RenderAfterPan(int dx, int dy) {
  CleanView();  // a pending shrink is of the picture as it was before any expansion
  ExpandIfZoomedPast();
  const IntRect& v = placement_.view;
  if (clean_.cols != v.Width() || clean_.rows != v.Height() || std::abs(dx) >= v.Width() ||
      std::abs(dy) >= v.Height() || !IsLadderStep(scale_)) {
    RenderView();
    return;
  }
  // The part still visible moves by (dx, dy); only the exposed strips are scaled afresh.
  cv::Mat moved(clean_.size(), clean_.type());
  const cv::Rect kept(std::max(0, -dx), std::max(0, -dy), v.Width() - std::abs(dx), v.Height() - std::abs(dy));
  clean_(kept).copyTo(moved(kept + cv::Point(dx, dy)));
  const auto paste = [&](const IntRect& strip) {
    if (strip.Width() <= 0 || strip.Height() <= 0) return;
    const cv::Mat part = RenderRegion(picture_, strip, scale_ * reduction_);
    if (part.empty()) return;
    part.copyTo(moved(cv::Rect(strip.left - v.left, strip.top - v.top, strip.Width(), strip.Height())));
  };
  if (dx > 0) paste({v.left, v.top, v.left + dx, v.bottom});
  if (dx < 0) paste({v.right + dx, v.top, v.right, v.bottom});
  if (dy > 0) paste({v.left, v.top, v.right, v.top + dy});
  if (dy < 0) paste({v.left, v.bottom + dy, v.right, v.bottom});
  clean_ = moved;
  dirty_ = true;
}

void CObjectContainer::SetClientSize(cv::Size size) {
  client_ = {std::max(size.width, 0), std::max(size.height, 0)};
  dirty_ = true;
  if (picture_.empty()) return;
  const cv::Point clientCentre(client_.width / 2, client_.height / 2);
  const cv::Point pictureCentre(pictureSize_.width / 2, pictureSize_.height / 2);
  fitScale_ = FitScale(pictureSize_, client_);
  if (fitMode_) {
    Place(fitScale_, clientCentre, pictureCentre);
    RenderFit();
    return;
  }
  const int sw = static_cast<int>(pictureSize_.width * scale_);
  const int sh = static_cast<int>(pictureSize_.height * scale_);
  IntRect& d = placement_.destination;
  IntRect& v = placement_.view;
  if (sw < client_.width) {
    d.left = (client_.width - sw) / 2;
    d.right = d.left + sw;
  } else {
    d.left = 0;
    d.right = client_.width;
  }
  if (sh < client_.height) {
    d.top = (client_.height - sh) / 2;
    d.bottom = d.top + sh;
  } else {
    d.top = 0;
    d.bottom = client_.height;
  }
  v.right = v.left + d.Width();
  v.bottom = v.top + d.Height();
  ClampView(v, sw, sh);
  RenderView();
}

void CObjectContainer::SetPicture(const cv::Mat& frame, int reduction) {
  if (frame.empty() || reduction < 1) return;
  cv::Mat colour = frame;
  if (frame.channels() == 1) cv::cvtColor(frame, colour, cv::COLOR_GRAY2BGR);
  if (colour.type() != CV_8UC3) return;
  const cv::Size size(colour.cols * reduction, colour.rows * reduction);
  if (picture_.empty() || pictureSize_ != size) scale_ = -1.0f;
  // Kept by reference: frames arrive as fresh copies that nobody writes to afterwards.
  picture_ = colour;
  pictureSize_ = size;
  reduction_ = reduction;
  if (scale_ == -1.0f) {
    fitScale_ = FitScale(pictureSize_, client_);
    fitMode_ = true;
    Place(fitScale_, {client_.width / 2, client_.height / 2}, {pictureSize_.width / 2, pictureSize_.height / 2});
    RenderFit();
  } else {
    Render();
  }
  dirty_ = true;
}

cv::Point CObjectContainer::ViewPoint(cv::Point at) const {
  return {at.x + placement_.view.left - placement_.destination.left,
          at.y + placement_.view.top - placement_.destination.top};
}

void CObjectContainer::OnMouseWheel(int delta, cv::Point at) {
  if (!InClient(at) || picture_.empty() || !InClient(lastMouse_)) return;
  float s = scale_;
  cv::Point windowAnchor(client_.width / 2, client_.height / 2);
  cv::Point pictureAnchor(pictureSize_.width / 2, pictureSize_.height / 2);
  const IntRect& d = placement_.destination;
  if (d.Contains(lastMouse_)) {
    windowAnchor = lastMouse_;
    pictureAnchor = {RoundHalfAway((placement_.view.left + lastMouse_.x - d.left) / s),
                     RoundHalfAway((placement_.view.top + lastMouse_.y - d.top) / s)};
  }
  if (delta > 0 && s < 8) {
    if (IsLadderStep(s)) s = s >= 1 ? s + 1 : s * 2;
    else s = StepAbove(s);
    fitMode_ = fitScale_ > s;
    if (fitMode_) s = fitScale_;
  } else if (delta < 0 && !fitMode_ && !(s <= 0.125f && s >= fitScale_)) {
    if (!IsLadderStep(s)) s = StepAbove(s);
    s = s >= 2 ? s - 1 : s / 2;
    if (s <= 0.125f) s = 0.125f;
    fitMode_ = fitScale_ > s;
    if (fitMode_) s = fitScale_;
  }
  Place(s, windowAnchor, pictureAnchor);
  Render();
}

void CObjectContainer::OnMouseMove(cv::Point at) {
  const cv::Point viewPoint = ViewPoint(at);
  const float s = scale_ > 0 ? scale_ : 1.0f;
  if (active_ != nullptr) active_->OnMouseMove(viewPoint, s);
  if (active_ == nullptr || !active_->HitTest(viewPoint, s)) {
    cursor_ = CursorShape::Arrow;
    if (buttonDown_ && !fitMode_ && !picture_.empty()) {
      IntRect moved = placement_.view;
      const cv::Point shift = lastMouse_ - at;
      moved.left += shift.x;
      moved.right += shift.x;
      moved.top += shift.y;
      moved.bottom += shift.y;
      ClampView(moved, static_cast<int>(pictureSize_.width * scale_), static_cast<int>(pictureSize_.height * scale_));
      if (!(moved == placement_.view)) {
        const int dx = placement_.view.left - moved.left;
        const int dy = placement_.view.top - moved.top;
        placement_.view = moved;
        RenderAfterPan(dx, dy);
      }
    }
  }
  lastMouse_ = at;
}

void CObjectContainer::OnLButtonDown(cv::Point at) {
  lastMouse_ = at;
  buttonDown_ = true;
  if (!InClient(at)) return;
  const cv::Point viewPoint = ViewPoint(at);
  const float s = scale_ > 0 ? scale_ : 1.0f;
  if (box_) {
    if (box_->OnLButtonDown(viewPoint, s)) {
      if (track_) track_->SetSelected(false);
      active_ = box_.get();
      dirty_ = true;
      return;
    }
    box_->SetSelected(false);
    dirty_ = true;
  }
  if (track_) {
    if (track_->OnLButtonDown(viewPoint, s)) active_ = track_.get();
    else track_->SetSelected(false);
    dirty_ = true;
  }
}

void CObjectContainer::OnLButtonUp(cv::Point at) {
  buttonDown_ = false;
  if (active_ == nullptr) return;
  active_->OnLButtonUp(ViewPoint(at), scale_ > 0 ? scale_ : 1.0f);
  dirty_ = true;
}

void CObjectContainer::OnRButtonDown(cv::Point at) {
  if (!track_) return;
  CreateTrackRectangle();
  lastMouse_ = at;
  track_->OnLButtonDown(ViewPoint(at), scale_ > 0 ? scale_ : 1.0f);
}

void CObjectContainer::OnRButtonUp(cv::Point at) { OnLButtonUp(at); }

void CObjectContainer::OnLButtonDblClk(cv::Point /*at*/) {
  if (track_) track_->SetSelected(false);
  dirty_ = true;
  if (onDoubleClick_) onDoubleClick_();
}

void CObjectContainer::CreateTrackRectangle() {
  if (active_ == track_.get()) active_ = nullptr;
  track_ = std::make_unique<CTrackRectangle>();
  track_->SetOwner(this);
  active_ = track_.get();
  dirty_ = true;
}

void CObjectContainer::DeleteTrackRectangle() {
  if (active_ == track_.get()) active_ = nullptr;
  track_.reset();
  dirty_ = true;
}

bool CObjectContainer::GetTrackRect(IntRect* rect) const {
  if (!track_) return false;
  *rect = track_->GetRect();
  return true;
}

bool CObjectContainer::CreateSubImageBox(int left, int top, int right, int bottom) {
  if (!box_) {
    box_ = std::make_unique<CSubImageBox>();
    box_->SetOwner(this);
  }
  box_->SetRect(left, top, right, bottom);
  dirty_ = true;
  return true;
}

void CObjectContainer::DeleteSubImageBox() {
  if (active_ == box_.get()) active_ = nullptr;
  box_.reset();
  dirty_ = true;
}

void CObjectContainer::RotateObjects(QuarterTurn turn) {
  if (picture_.empty()) return;
  const cv::Size before = pictureSize_;
  const int w = before.width;
  const int h = before.height;
  const auto turnPoint = [&](cv::Point p) -> cv::Point {
    switch (turn) {
      case QuarterTurn::Clockwise: return {h - 1 - p.y, p.x};
      case QuarterTurn::CounterClockwise: return {p.y, w - 1 - p.x};
      case QuarterTurn::Half: return {w - 1 - p.x, h - 1 - p.y};
    }
    return p;
  };
  if (track_) {
    if (turn == QuarterTurn::Clockwise) track_->RotateClockwise(before);
    else if (turn == QuarterTurn::CounterClockwise) track_->RotateCounterClockwise(before);
    else track_->Rotate180(before);
  }
  const cv::Point centre(RoundHalfAway((placement_.view.left + placement_.view.right) / 2.0 / scale_),
                         RoundHalfAway((placement_.view.top + placement_.view.bottom) / 2.0 / scale_));
  cv::Mat turned;
  cv::rotate(picture_, turned,
             turn == QuarterTurn::Clockwise          ? cv::ROTATE_90_CLOCKWISE
             : turn == QuarterTurn::CounterClockwise ? cv::ROTATE_90_COUNTERCLOCKWISE
                                                     : cv::ROTATE_180);
  picture_ = turned;
  if (turn != QuarterTurn::Half) pictureSize_ = {pictureSize_.height, pictureSize_.width};
  fitScale_ = FitScale(pictureSize_, client_);
  Place(fitMode_ ? fitScale_ : scale_, {client_.width / 2, client_.height / 2}, turnPoint(centre));
  // The next frame arrives turned; rendering the turned picture now keeps view and buffer in step.
  Render();
}

int CObjectContainer::OnGetPicture(cv::Mat& image, float scale) const {
  if (image.empty()) return 1;
  if (box_) box_->ComposeInto(image, scale);
  return 0;
}

cv::Mat CObjectContainer::Compose() {
  dirty_ = false;
  if (client_.width <= 0 || client_.height <= 0) return {};
  // A light grey panel with a black frame, drawn inverted as the original window did.
  cv::Mat frame(client_, CV_8UC3, cv::Scalar::all(12));
  cv::rectangle(frame, {0, 0}, {client_.width - 1, client_.height - 1}, cv::Scalar::all(255), 1);
  const IntRect& d = placement_.destination;
  const cv::Mat& clean = CleanView();
  if (picture_.empty() || clean.empty() || clean.cols != d.Width() || clean.rows != d.Height()) return frame;
  const float s = scale_;
  const cv::Rect place(d.left, d.top, d.Width(), d.Height());
  const cv::Rect visible = place & cv::Rect(0, 0, frame.cols, frame.rows);
  // The overlays draw straight into the frame where the picture fits in it whole (drawing clips
  // to the picture's part of the frame either way); one copy of the picture less per frame.
  cv::Mat buffer = visible == place ? frame(place) : cv::Mat(place.size(), frame.type());
  clean_.copyTo(buffer);
  if (box_) box_->Draw(buffer, placement_.view, s);
  if (track_) track_->Draw(buffer, placement_.view, s);
  if (visible != place) buffer(visible - place.tl()).copyTo(frame(visible));
  return frame;
}

void CObjectContainer::ComposeBgra(cv::Mat& bgra) {
  // Overlays are drawn in the picture's own layout; without any the picture goes straight into
  // the frame, converted on the way (a copy of the view and a pass over the frame less).
  if (box_ || track_) {
    ConvertBgrToBgra(Compose(), bgra);
    return;
  }
  dirty_ = false;
  if (client_.width <= 0 || client_.height <= 0) {
    bgra.release();
    return;
  }
  bgra.create(client_, CV_8UC4);
  const cv::Rect all(0, 0, client_.width, client_.height);
  const IntRect& d = placement_.destination;
  const cv::Size cleanSize = cleanPending_ ? pendingSize_ : clean_.size();
  const bool showsPicture = !picture_.empty() && !cleanSize.empty() && cleanSize.width == d.Width() &&
                            cleanSize.height == d.Height();
  const cv::Rect place = showsPicture ? cv::Rect(d.left, d.top, d.Width(), d.Height()) : cv::Rect();
  const cv::Rect visible = place & all;
  PaintPanelBgra(bgra, visible);
  if (visible.empty()) return;
  cv::Mat target = bgra(visible);
  if (cleanPending_ && visible == place) {
    const cv::Mat source = picture_(pendingSource_);
    if (source.size() == target.size()) ConvertBgrToBgra(source, target);
    else ShrinkIntoBgra(source, target);
    return;
  }
  ConvertBgrToBgra(CleanView()(visible - place.tl()), target);
}

void CObjectContainer::PaintPanelBgra(cv::Mat& bgra, const cv::Rect& visible) {
  // The panel round the picture, as Compose draws it; the picture then covers its part.
  const cv::Scalar panel(12, 12, 12, 255);
  const int width = bgra.cols, height = bgra.rows;
  if (visible.empty()) {
    bgra.setTo(panel);
  } else {
    bgra(cv::Rect(0, 0, width, visible.y)).setTo(panel);
    bgra(cv::Rect(0, visible.br().y, width, height - visible.br().y)).setTo(panel);
    bgra(cv::Rect(0, visible.y, visible.x, visible.height)).setTo(panel);
    bgra(cv::Rect(visible.br().x, visible.y, width - visible.br().x, visible.height)).setTo(panel);
  }
  cv::rectangle(bgra, {0, 0}, {width - 1, height - 1}, cv::Scalar(255, 255, 255, 255), 1);
}

bool CObjectContainer::ComposesFittedWhole(cv::Size client, const cv::Rect& place) const {
  const IntRect& d = placement_.destination;
  return fitMode_ && !box_ && !track_ && cleanPending_ && client_ == client && !picture_.empty() &&
         pendingSource_ == cv::Rect(0, 0, picture_.cols, picture_.rows) && pendingSize_ == place.size() &&
         cv::Rect(d.left, d.top, d.Width(), d.Height()) == place &&
         (place & cv::Rect(cv::Point(0, 0), client_)) == place;
}

void CObjectContainer::InvalidateViewRect(const IntRect& /*viewRect*/) { dirty_ = true; }

bool CObjectContainer::GetPictureSize(cv::Size* size) const {
  if (picture_.empty()) return false;
  *size = pictureSize_;
  return true;
}

}  // namespace orvane
