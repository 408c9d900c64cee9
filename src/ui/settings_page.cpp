#include "ui/settings_page.h"

#include <QTabWidget>

#include "ui/presenter.h"

namespace orvane::ui {

std::string RangeMessage(int language, int low, int high) {
  const std::string from = std::to_string(low);
  const std::string to = std::to_string(high);
  switch (TextColumn(language)) {
    case 1: return "請輸入 " + from + " 到 " + to + " 之間的整數。";
    case 2: return "Please enter an integer between " + from + " and " + to + ".";
    default: return "请输入 " + from + " 到 " + to + " 之间的整数。";
  }
}

QWidget* CSettingsPage::Control(int id) const {
  for (const auto& [known, widget] : byId_)
    if (known == id) return widget;
  return nullptr;
}

void CSettingsPage::BringToFront() {
  for (QWidget* above = parentWidget(); above != nullptr; above = above->parentWidget()) {
    if (auto* tabs = qobject_cast<QTabWidget*>(above)) {
      tabs->setCurrentWidget(this);
      return;
    }
  }
}

std::optional<int> CSettingsPage::ReadNumber(QLineEdit& field, int low, int high, int language) {
  bool number = false;
  const int value = field.text().trimmed().toInt(&number);
  if (number && value >= low && value <= high) return value;
  BringToFront();
  presenter_.ShowMessage(this, RangeMessage(language, low, high), StationCaption(), MessageIcon::kWarning);
  field.setFocus();
  field.selectAll();
  return std::nullopt;
}

}  // namespace orvane::ui
