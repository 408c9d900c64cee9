// The splash window shown while the cameras open, when the branding file carries a picture.
#pragma once

#include <QImage>
#include <QWidget>

#include "app/oem_data.h"

namespace orvane::ui {

// The picture as a QImage (a deep copy of the branding record's rows).
QImage ToQImage(const BgrPicture& picture);

class CSplashDlg : public QWidget {
 public:
  // A borderless window of the picture's size, centred on the primary screen (it may stand off
  // the screen's edges when the picture is larger than the screen).
  CSplashDlg(const BgrPicture& picture, QWidget* parent);

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QImage picture_;
};

}  // namespace orvane::ui
