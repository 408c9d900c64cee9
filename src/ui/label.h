// `CLabel`: a status line that paints its own text with a font whose size and weight its owner
// sets, so that a line changing several times a second can be shown larger and bold without
// flicker. The continuous-shooting and recording dialogs show their status and count with it.
#pragma once

#include <string>

#include <QWidget>

namespace orvane::ui {

// How a label places its text.
enum class LabelAlignment { kLeft, kCentre, kRight, kLeftNoWrap };

class CLabel : public QWidget {
 public:
  // `centreVertically`: a one-line text is centred both ways, a text of several lines only
  // across.
  explicit CLabel(QWidget* parent = nullptr, LabelAlignment alignment = LabelAlignment::kLeft,
                  bool centreVertically = false);

  void SetText(const std::string& text);
  void SetFontSize(int points);
  void SetFontBold(bool bold);
  std::string Text() const { return text_.toStdString(); }

  // The drawing flags (Qt::AlignmentFlag and Qt::TextFlag) for `text`.
  static int DrawFlags(LabelAlignment alignment, bool centreVertically, const QString& text);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void changeEvent(QEvent* event) override;

 private:
  QString text_;
  LabelAlignment alignment_;
  bool centreVertically_;
};

}  // namespace orvane::ui
