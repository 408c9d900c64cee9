#include "imaging/watermark.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>

#include <QCoreApplication>
#include <QFont>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QString>
#include <opencv2/imgproc.hpp>

#include "imaging/conversions.h"

namespace orvane::imaging {

namespace {

// A normal-weight sans-serif "Arial" whose cell height (ascent + descent) is `height` pixels, as
// a Windows font asked for with a positive height.
QFont CellHeightFont(int height) {
  QFont font(QStringLiteral("Arial"));
  font.setStyleHint(QFont::SansSerif);
  font.setWeight(QFont::Normal);
  font.setPixelSize(height);
  for (int attempt = 0; attempt < 3; ++attempt) {
    const int cell = QFontMetrics(font).height();
    if (cell == height || cell <= 0) break;
    const int next = std::max(1, static_cast<int>(std::lround(
                                     static_cast<double>(font.pixelSize()) * height / cell)));
    if (next == font.pixelSize()) break;
    font.setPixelSize(next);
  }
  return font;
}

}  // namespace

void StampWatermark(cv::Mat& picture, const WatermarkSpec& spec) {
  if (spec.text.empty() || picture.empty()) return;
  if (picture.channels() != 1 && picture.channels() != 3) return;
  CV_Assert(picture.depth() == CV_8U);
  // Without a QGuiApplication Qt's font code aborts the process; fail as an exception instead.
  if (qobject_cast<QGuiApplication*>(QCoreApplication::instance()) == nullptr)
    throw std::runtime_error("drawing watermark text needs a QGuiApplication");
  const QString text = QString::fromStdString(spec.text);
  const QFont font = CellHeightFont(std::max(spec.fontHeight, 1));
  const QFontMetrics metrics(font);
  const int textWidth = metrics.horizontalAdvance(text);
  const int textHeight = metrics.height();
  if (textWidth <= 0 || textHeight <= 0) return;

  const int width = picture.cols;
  const int height = picture.rows;
  int originX = 0;
  int originY = 0;
  switch (spec.position) {
    case 1: originX = width - textWidth; break;
    case 2: originY = height - textHeight; break;
    case 3: originX = width - textWidth; originY = height - textHeight; break;
    case 4: originX = (width - textWidth) / 2; originY = (height - textHeight) / 2; break;
    default: break;
  }
  // Only the part of the text that lands on the picture is drawn; the rest is clipped.
  const int firstRow = std::max(0, -originY);
  const int lastRow = std::min(textHeight, height - originY);
  const int firstColumn = std::max(0, -originX);
  const int lastColumn = std::min(textWidth, width - originX);
  if (firstRow >= lastRow || firstColumn >= lastColumn) return;

  // Coverage of the glyphs decides what is text, so a text colour equal to the key grey still
  // shows; the rendered look (colour blended towards the key grey at smoothed edges) is kept.
  QImage coverage(lastColumn - firstColumn, lastRow - firstRow,
                  QImage::Format_ARGB32_Premultiplied);
  if (coverage.isNull()) throw std::runtime_error("watermark text too large to draw");
  coverage.fill(Qt::transparent);
  {
    QPainter painter(&coverage);
    painter.setFont(font);
    painter.setPen(Qt::white);
    painter.drawText(-firstColumn, metrics.ascent() - firstRow, text);
  }

  cv::Mat work;
  if (picture.channels() == 1) cv::cvtColor(picture, work, cv::COLOR_GRAY2BGR);
  else work = picture;

  const float t = static_cast<float>(spec.transparency) / 100.0f;
  const float textColour[3] = {static_cast<float>((spec.color >> 16) & 0xFF),  // blue
                               static_cast<float>((spec.color >> 8) & 0xFF),   // green
                               static_cast<float>(spec.color & 0xFF)};         // red
  for (int r = firstRow; r < lastRow; ++r) {
    const auto* cover = reinterpret_cast<const QRgb*>(coverage.constScanLine(r - firstRow));
    auto* target = work.ptr<cv::Vec3b>(originY + r);
    for (int c = firstColumn; c < lastColumn; ++c) {
      const int alpha = qAlpha(cover[c - firstColumn]);
      if (alpha == 0) continue;
      const float a = alpha / 255.0f;
      cv::Vec3b& pixel = target[originX + c];
      for (int k = 0; k < 3; ++k) {
        const float rendered = textColour[k] * a + kWatermarkKeyGrey * (1.0f - a);
        pixel[k] = static_cast<uchar>(
            std::clamp(rendered * (1.0f - t) + pixel[k] * t, 0.0f, 255.0f));
      }
    }
  }
  if (picture.channels() == 1) picture = ToGrey(work, GreyConversion::kRgbToGreyOnBgr);
}

}  // namespace orvane::imaging
