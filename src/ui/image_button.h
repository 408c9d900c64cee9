// `CImageButton`: a window-less picture with a hot-spot rectangle, kept in a list by its owner
// window, painted by the owner and fed with the owner's mouse input. The thumbnail strip and the
// logo are made of them. A click is posted to the owner's message target.
#pragma once

#include <filesystem>
#include <string>

#include <QImage>
#include <opencv2/core/mat.hpp>
#include <QPoint>

#include "camera/overlays.h"
#include "platform/messages.h"

class QPainter;
class QWidget;

namespace orvane::ui {

class IPresenter;

// The pictures the windows draw that are not camera frames, by their resource numbers.
inline constexpr int kEmptyThumbnailPicture = 165;
inline constexpr int kDocumentIcon = 194;
// The picture of a resource number; a null picture for an unknown one.
QImage ResourcePicture(int resourceId);

// The thumbnails' menu (the main window's strip, the merge dialog's previews): open the picture's
// file, delete it. In an interface language: 0 Simplified Chinese, 1 Traditional Chinese, 2 English.
struct ThumbnailMenuTexts {
  const char* open;
  const char* remove;
};
const ThumbnailMenuTexts& ThumbnailMenuTextsFor(int language);

class CImageButton {
 public:
  explicit CImageButton(int identifier = -1);

  // `owner` is repainted; `ownerTarget` receives the click messages; `presenter` opens the file
  // a click asks for (may be null: nothing is opened) and says in the button's language when no
  // program opens it.
  void Init(platform::MessageId message, int identifier, int left, int top, int right, int bottom, QWidget* owner,
            platform::TargetHandle ownerTarget, IPresenter* presenter, bool frame);
  void SetRect(int left, int top, int right, int bottom) { rect_ = {left, top, right, bottom}; }
  const IntRect& GetRect() const { return rect_; }
  void SetLanguage(int language) { language_ = language; }
  void SetPath(const std::filesystem::path& path) { path_ = path; }
  const std::filesystem::path& GetPath() const { return path_; }
  void SetNumber(int number) { number_ = number; }
  int Identifier() const { return identifier_; }

  // The file's picture fitted into the rectangle with its aspect ratio kept; false (and no
  // picture) when it cannot be read or the rectangle is empty. The path is stored on success.
  bool LoadFile(const std::filesystem::path& path);
  // The same for a picture already loaded from `path`.
  bool LoadPicture(const std::filesystem::path& path, const cv::Mat& loaded);
  // A picture of the program's own, shown at its own size.
  bool LoadBitmapResource(int resourceId);
  void SetPicture(QImage picture) { picture_ = std::move(picture); }
  // No picture, no path, no number.
  void Clear();
  bool HasPicture() const { return !picture_.isNull(); }
  const QImage& Picture() const { return picture_; }
  bool Hover() const { return hover_; }
  bool Pressed() const { return pressed_; }

  void Draw(QPainter& painter);

  // Each returns whether the point lies in the rectangle, as far as it gets to ask.
  bool OnMouseMove(QPoint point);
  bool OnLButtonDown(QPoint point);
  bool OnLButtonUp(QPoint point);
  bool OnRButtonDown(QPoint point);
  bool OnSetCursor(QPoint point) const;
  bool OnLinkClick(QPoint point);

  // Asks the owner to repaint the rectangle and 3 pixels around it.
  void Invalidate(bool erase);
  void ResetState();

 private:
  bool Inside(QPoint point) const { return rect_.Contains({point.x(), point.y()}); }
  void PostClick(platform::LParam kind) const;

  QImage picture_;
  std::filesystem::path path_;
  int number_ = -1;
  platform::MessageId message_ = 0;
  int identifier_ = -1;
  IntRect rect_;
  QWidget* owner_ = nullptr;
  platform::TargetHandle ownerTarget_;
  IPresenter* presenter_ = nullptr;
  int language_ = 0;
  bool hover_ = false;
  bool pressed_ = false;
  bool frame_ = false;
};

}  // namespace orvane::ui
