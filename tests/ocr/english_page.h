// Black English text in a sans-serif face on white paper, as a 300 DPI scan of 12-point type
// shows it: an 8-bit grey page.
#pragma once

#include <QFont>
#include <QImage>
#include <QPainter>
#include <QString>

#include <algorithm>
#include <vector>

#include <opencv2/core.hpp>

#include "imaging/gui_application.h"

namespace orvane::testing {

inline cv::Mat EnglishPage(const std::vector<QString>& lines, int width = 1200) {
  imaging::testing::EnsureGuiApplication();
  QImage page(width, 120 + 70 * static_cast<int>(lines.size()), QImage::Format_Grayscale8);
  page.fill(Qt::white);
  QPainter painter(&page);
  QFont font(QStringLiteral("Liberation Sans"));
  font.setPixelSize(42);
  painter.setFont(font);
  painter.setPen(Qt::black);
  int y = 100;
  for (const QString& line : lines) {
    painter.drawText(60, y, line);
    y += 70;
  }
  painter.end();
  cv::Mat grey(page.height(), page.width(), CV_8UC1);
  for (int r = 0; r < page.height(); ++r) std::copy_n(page.constScanLine(r), page.width(), grey.ptr(r));
  return grey;
}

// A full page of `count` lines of words, none of them repeated on its line.
inline cv::Mat LongEnglishPage(int count) {
  const QString words[] = {QStringLiteral("station"), QStringLiteral("paper"), QStringLiteral("camera"),
                           QStringLiteral("folder"),  QStringLiteral("letter"), QStringLiteral("number"),
                           QStringLiteral("window"),  QStringLiteral("record"), QStringLiteral("garden")};
  std::vector<QString> lines;
  for (int i = 0; i < count; ++i) {
    QString line;
    for (int w = 0; w < 9; ++w) line += words[(i + w * 4) % 9] + QStringLiteral(" ");
    lines.push_back(line.trimmed());
  }
  return EnglishPage(lines, 2400);
}

}  // namespace orvane::testing
