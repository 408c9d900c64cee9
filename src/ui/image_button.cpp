#include "ui/image_button.h"

#include <QPainter>
#include <QWidget>

#include <opencv2/imgproc.hpp>

#include "app/oem_data.h"
#include "imaging/image_file.h"
#include "ui/message_texts.h"
#include "ui/presenter.h"

namespace orvane::ui {

QImage ResourcePicture(int resourceId) {
  switch (resourceId) {
    case kEmptyThumbnailPicture: return QImage(QStringLiteral(":/ui/thumbnail_empty.png"));
    case kDocumentIcon: return QImage(QStringLiteral(":/ui/document.png"));
    // The command buttons' faces; a null picture for a number that has none.
    default: return QImage(QStringLiteral(":/ui/bitmaps/%1.png").arg(resourceId));
  }
}

const ThumbnailMenuTexts& ThumbnailMenuTextsFor(int language) {
  static constexpr ThumbnailMenuTexts kTexts[] = {
      {"浏览文件", "删除文件"},
      {"瀏覽檔案", "刪除檔案"},
      {"Open file", "Delete file"},
  };
  return kTexts[TextColumn(language)];
}

CImageButton::CImageButton(int identifier) : identifier_(identifier) {}

void CImageButton::Init(platform::MessageId message, int identifier, int left, int top, int right, int bottom,
                        QWidget* owner, platform::TargetHandle ownerTarget, IPresenter* presenter, bool frame) {
  message_ = message;
  identifier_ = identifier;
  rect_ = {left, top, right, bottom};
  owner_ = owner;
  ownerTarget_ = ownerTarget;
  presenter_ = presenter;
  frame_ = frame;
}

bool CImageButton::LoadFile(const std::filesystem::path& path) {
  // As the saved file stands (the capture has turned the page already), and refused when its
  // header claims a picture too large to be one of ours.
  return LoadPicture(path, imaging::LoadImageFile(path));  // three channels, grey or not
}

bool CImageButton::LoadPicture(const std::filesystem::path& path, const cv::Mat& loaded) {
  picture_ = QImage();
  if (loaded.empty()) return false;
  const int rw = rect_.Width();
  const int rh = rect_.Height();
  if (rw < 1 || rh < 1) return false;
  const double iw = loaded.cols;
  const double ih = loaded.rows;
  const int cx = (rect_.left + rect_.right) / 2;
  const int cy = (rect_.top + rect_.bottom) / 2;
  IntRect fit;
  if (rw / iw > rh / ih) {
    const int half = static_cast<int>(rh / ih * iw / 2);
    fit = {cx - half, rect_.top + 1, cx + half, rect_.bottom - 1};
  } else {
    const int half = static_cast<int>(rw / iw * ih / 2);
    fit = {rect_.left + 1, cy - half, rect_.right - 1, cy + half};
  }
  fit = {fit.left + 1, fit.top + 1, fit.right - 1, fit.bottom - 1};
  if (fit.Width() < 1 || fit.Height() < 1) return false;
  cv::Mat scaled;
  cv::resize(loaded, scaled, cv::Size(fit.Width(), fit.Height()), 0, 0, cv::INTER_AREA);
  picture_ = QImage(scaled.data, scaled.cols, scaled.rows, static_cast<qsizetype>(scaled.step), QImage::Format_BGR888)
                 .convertToFormat(QImage::Format_RGB32);
  path_ = path;
  return true;
}

bool CImageButton::LoadBitmapResource(int resourceId) {
  picture_ = ResourcePicture(resourceId);
  return !picture_.isNull();
}

void CImageButton::Clear() {
  picture_ = QImage();
  path_.clear();
  number_ = -1;
}

void CImageButton::Draw(QPainter& painter) {
  const int cx = (rect_.left + rect_.right) / 2;
  const int cy = (rect_.top + rect_.bottom) / 2;
  const QString number = QString::number(number_ + 1);
  if (!picture_.isNull()) {
    if (number_ >= 0) {
      // The number becomes part of the shown copy, as the page slots show it.
      QPainter onPicture(&picture_);
      onPicture.drawText(QPoint(0, onPicture.fontMetrics().ascent()), number);
    }
    painter.drawImage(cx - picture_.width() / 2 + 1, cy - picture_.height() / 2 + 1, picture_);
  }
  if (number_ >= 0) {
    painter.save();
    painter.setPen(QColor(255, 0, 0));
    const int textHeight = painter.fontMetrics().height();
    painter.drawText(QPoint(rect_.left + 15, rect_.bottom - textHeight - 5 + painter.fontMetrics().ascent()),
                     QStringLiteral(" %1 ").arg(number));
    painter.restore();
  }
  // The edges as the window system draws a 1-pixel frame: right and bottom edges included.
  const QPoint topLeft(rect_.left, rect_.top);
  const QPoint topRight(rect_.right - 1, rect_.top);
  const QPoint bottomLeft(rect_.left, rect_.bottom - 1);
  const QPoint bottomRight(rect_.right - 1, rect_.bottom - 1);
  const auto edges = [&](const QColor& upperLeft, const QColor& lowerRight) {
    painter.setPen(upperLeft);
    painter.drawLine(bottomLeft, topLeft);
    painter.drawLine(topLeft, topRight);
    painter.setPen(lowerRight);
    painter.drawLine(bottomLeft, bottomRight);
    painter.drawLine(bottomRight, topRight);
  };
  painter.save();
  if (hover_ && !pressed_) {
    edges(Qt::white, Qt::black);
  } else if (hover_ && pressed_) {
    edges(Qt::black, Qt::white);
  } else if (frame_) {
    edges(QColor(128, 128, 128), QColor(128, 128, 128));
  }
  painter.restore();
}

bool CImageButton::OnMouseMove(QPoint point) {
  if (identifier_ == -1 || picture_.isNull() || path_.empty()) return false;
  const bool inside = Inside(point);
  if (inside != hover_) {
    hover_ = inside;
    Invalidate(false);
  }
  return inside;
}

bool CImageButton::OnLButtonDown(QPoint point) {
  if (identifier_ == -1 || picture_.isNull()) return false;
  if (!Inside(point)) {
    pressed_ = false;
    return false;
  }
  pressed_ = true;
  Invalidate(false);
  return true;
}

bool CImageButton::OnLButtonUp(QPoint point) {
  if (identifier_ == -1 || picture_.isNull() || path_.empty()) return false;
  if (!pressed_) return Inside(point);
  Invalidate(false);
  if (!Inside(point)) return false;
  PostClick(platform::message_ids::kLeftClick);
  if (presenter_ != nullptr) OpenFileOrSay(*presenter_, owner_, language_, path_);
  return true;
}

bool CImageButton::OnRButtonDown(QPoint point) {
  if (identifier_ == -1 || path_.empty() || picture_.isNull()) return false;
  if (!Inside(point)) return false;
  PostClick(platform::message_ids::kRightClick);
  return true;
}

bool CImageButton::OnSetCursor(QPoint point) const {
  if (identifier_ == -1 || picture_.isNull() || path_.empty()) return false;
  return Inside(point);
}

bool CImageButton::OnLinkClick(QPoint point) {
  if (!Inside(point)) return false;
  const std::string& link = COemData::Instance().link();
  if (!link.empty() && presenter_ != nullptr) presenter_->OpenLink(link);
  return true;
}

void CImageButton::Invalidate(bool /*erase*/) {
  if (owner_ == nullptr) return;
  owner_->update(rect_.left - 3, rect_.top - 3, rect_.Width() + 6, rect_.Height() + 6);
}

void CImageButton::ResetState() {
  hover_ = false;
  pressed_ = false;
  Invalidate(false);
}

void CImageButton::PostClick(platform::LParam kind) const {
  platform::Post(ownerTarget_, message_, static_cast<platform::WParam>(identifier_), kind);
}

}  // namespace orvane::ui
