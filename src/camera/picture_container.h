// The picture inside a display: the latest frame fitted to the window or zoomed with the wheel,
// panned by dragging, with the overlay objects on top. Pure computation on cv::Mat; it composes a
// whole client-sized frame for the view to paint. Thread-bound: used only on the display core's
// thread.
#pragma once

#include <functional>
#include <memory>

#include <opencv2/core.hpp>

#include "camera/overlays.h"

namespace orvane {

enum class QuarterTurn { Clockwise, CounterClockwise, Half };

// Where the scaled picture's visible part (view, in view pixels) is shown (destination, in
// window pixels); both have the same size.
struct ViewPlacement {
  float scale = 1.0f;
  IntRect view;
  IntRect destination;
};

class CObjectContainer : public IOverlayOwner {
 public:
  static constexpr float kLadder[] = {0.125f, 0.25f, 0.5f, 1, 2, 3, 4, 5, 6, 7, 8};

  CObjectContainer() = default;
  ~CObjectContainer() override;
  CObjectContainer(const CObjectContainer&) = delete;
  CObjectContainer& operator=(const CObjectContainer&) = delete;

  // The largest scale up to 1 at which the whole picture fits the client area.
  static float FitScale(cv::Size picture, cv::Size client);
  // Shows picture point `pictureAnchor` at window point `windowAnchor` where the scaled picture
  // is larger than the window, centres it where smaller; anchors outside fall back to centres.
  static ViewPlacement ComputeView(cv::Size picture, float scale, cv::Point windowAnchor,
                                   cv::Point pictureAnchor, cv::Size client);
  // Renders the part `region` (view pixels) of `picture` at a ladder scale: area averaging up to
  // scale 1, whole-pixel blocks above. Empty for other scales.
  static cv::Mat RenderRegion(const cv::Mat& picture, const IntRect& region, float scale);

  void SetClientSize(cv::Size size);
  cv::Size ClientSize() const { return client_; }
  // Shows a new frame; a grey frame is shown as BGR. Zoom and pan survive frames of the same size.
  // The frame is kept by reference: the caller must not write into it afterwards. `reduction` > 1:
  // the frame is the picture at that fraction of each side; picture coordinates, the view and
  // the overlays stay those of the full picture (frame size x reduction). A reduced frame that
  // would have to be enlarged in a zoomed view is first brought to full size, so a zoomed view
  // never shows fewer pixels than the scale asks for.
  void SetPicture(const cv::Mat& frame, int reduction = 1);

  void OnMouseWheel(int delta, cv::Point at);
  void OnMouseMove(cv::Point at);
  void OnLButtonDown(cv::Point at);
  void OnLButtonUp(cv::Point at);
  void OnRButtonDown(cv::Point at);
  void OnRButtonUp(cv::Point at);
  void OnLButtonDblClk(cv::Point at);
  // Called on a double click, after the selection rectangle has been deselected.
  void SetDoubleClickHandler(std::function<void()> handler) { onDoubleClick_ = std::move(handler); }

  void CreateTrackRectangle();
  void DeleteTrackRectangle();
  bool GetTrackRect(IntRect* rect) const;
  bool CreateSubImageBox(int left, int top, int right, int bottom);
  void DeleteSubImageBox();
  CSubImageBox* SubImageBox() { return box_.get(); }
  CTrackRectangle* TrackRectangle() { return track_.get(); }
  void RotateObjects(QuarterTurn turn);
  // Draws the sub-image box into a copy of the picture at `scale` of its full resolution; 1 for an
  // empty image.
  int OnGetPicture(cv::Mat& image, float scale = 1.0f) const;

  // The client area as it is to be painted: background, picture and overlays.
  cv::Mat Compose();
  // The same in the window system's 32-bit BGRA layout (opaque), written into `bgra` (its buffer
  // is reused when it has the client's size and nobody else holds it); empty without a client
  // area.
  void ComposeBgra(cv::Mat& bgra);
  // True when something changed since the last Compose (frames, zoom, pan, overlays).
  bool NeedsRepaint() const { return dirty_; }
  // Whether ComposeBgra would now give a `client`-sized frame of the picture fitted whole into
  // `place` with nothing over it: then a frame composed so elsewhere may stand for it.
  bool ComposesFittedWhole(cv::Size client, const cv::Rect& place) const;
  // Such a frame stands for this composition.
  void MarkComposed() { dirty_ = false; }
  // The panel round `visible` and the frame round the client area, in the layout ComposeBgra
  // gives; `visible` itself is left for the picture.
  static void PaintPanelBgra(cv::Mat& bgra, const cv::Rect& visible);

  void InvalidateViewRect(const IntRect& viewRect) override;
  bool GetPictureSize(cv::Size* size) const override;
  void SetCursor(CursorShape shape) override { cursor_ = shape; }
  CursorShape Cursor() const { return cursor_; }

  float Scale() const { return scale_; }
  float FitScaleNow() const { return fitScale_; }
  bool FitMode() const { return fitMode_; }
  const IntRect& View() const { return placement_.view; }
  const IntRect& Destination() const { return placement_.destination; }
  // The frame as given (possibly reduced) and its reduction; the picture's size is GetPictureSize.
  const cv::Mat& Picture() const { return picture_; }
  int Reduction() const { return reduction_; }
  // The clean rendering of the view, without overlays.
  const cv::Mat& CleanView() const;

 private:
  cv::Point ViewPoint(cv::Point at) const;
  bool InClient(cv::Point p) const { return p.x >= 0 && p.y >= 0 && p.x < client_.width && p.y < client_.height; }
  void Place(float scale, cv::Point windowAnchor, cv::Point pictureAnchor);
  void RenderFit();
  void RenderView();
  void RenderAfterPan(int dx, int dy);
  void Render() { fitMode_ ? RenderFit() : RenderView(); }
  // Brings a reduced frame to full size when the zoomed view's scale needs more of it than it has.
  void ExpandIfZoomedPast();

  cv::Size client_;
  CDrawObject* active_ = nullptr;
  std::unique_ptr<CTrackRectangle> track_;
  std::unique_ptr<CSubImageBox> box_;
  bool buttonDown_ = false;
  cv::Mat picture_;
  cv::Size pictureSize_;  // in picture coordinates: picture_'s size x reduction_
  int reduction_ = 1;
  // Rendered on first use while cleanPending_ is set: the part pendingSource_ of picture_ copied
  // (same size) or shrunk to pendingSize_.
  mutable cv::Mat clean_;
  mutable bool cleanPending_ = false;
  cv::Rect pendingSource_;
  cv::Size pendingSize_;
  ViewPlacement placement_;
  float scale_ = -1.0f;
  float fitScale_ = 1.0f;
  bool fitMode_ = false;
  cv::Point lastMouse_;
  CursorShape cursor_ = CursorShape::Arrow;
  bool dirty_ = true;
  std::function<void()> onDoubleClick_;
};

}  // namespace orvane
