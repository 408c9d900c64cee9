#include "ui/control_text.h"

#include <QAbstractButton>
#include <QGroupBox>
#include <QLabel>

namespace orvane::ui {

void SetControlText(QWidget* control, const char* utf8) {
  const QString text = QString::fromUtf8(utf8);
  if (auto* group = qobject_cast<QGroupBox*>(control)) group->setTitle(text);
  else if (auto* label = qobject_cast<QLabel*>(control)) label->setText(text);
  else if (auto* button = qobject_cast<QAbstractButton*>(control)) button->setText(text);
}

std::string ControlText(const QWidget* control) {
  if (const auto* group = qobject_cast<const QGroupBox*>(control)) return group->title().toStdString();
  if (const auto* label = qobject_cast<const QLabel*>(control)) return label->text().toStdString();
  if (const auto* button = qobject_cast<const QAbstractButton*>(control)) return button->text().toStdString();
  return {};
}

}  // namespace orvane::ui
