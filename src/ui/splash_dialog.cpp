#include "ui/splash_dialog.h"

#include <QGuiApplication>
#include <QPainter>
#include <QScreen>

namespace orvane::ui {

QImage ToQImage(const BgrPicture& picture) {
  if (picture.width <= 0 || picture.height <= 0 ||
      picture.pixels.size() < static_cast<std::size_t>(picture.width) * picture.height * 3) {
    return {};
  }
  return QImage(picture.pixels.data(), picture.width, picture.height, picture.width * 3, QImage::Format_BGR888)
      .copy();
}

CSplashDlg::CSplashDlg(const BgrPicture& picture, QWidget* parent)
    : QWidget(parent, Qt::SplashScreen | Qt::FramelessWindowHint), picture_(ToQImage(picture)) {
  const QScreen* screen = QGuiApplication::primaryScreen();
  const QSize screenSize = screen != nullptr ? screen->size() : QSize(picture_.width(), picture_.height());
  setGeometry((screenSize.width() - picture_.width()) / 2, (screenSize.height() - picture_.height()) / 2,
              picture_.width(), picture_.height());
}

void CSplashDlg::paintEvent(QPaintEvent*) {
  if (picture_.isNull()) return;
  QPainter painter(this);
  painter.drawImage(0, 0, picture_);
}

}  // namespace orvane::ui
