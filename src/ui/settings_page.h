// What the four pages of the settings window share: each is a widget on the window's tab control
// that keeps its controls by their numbers, fills them from a copy of the settings record and
// commits them back only when every value it holds is acceptable.
#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include <QLineEdit>
#include <QWidget>

#include "ui/message_texts.h"

namespace orvane::ui {

class IPresenter;

// "Please enter a whole number from low to high", in the interface language.
std::string RangeMessage(int language, int low, int high);

class CSettingsPage : public QWidget {
 public:
  explicit CSettingsPage(IPresenter& presenter) : presenter_(presenter) {}
  CSettingsPage(const CSettingsPage&) = delete;
  CSettingsPage& operator=(const CSettingsPage&) = delete;

  QWidget* Control(int id) const;

 protected:
  template <class Widget>
  Widget& Register(int id, Widget& widget) {
    byId_.emplace_back(id, &widget);
    return widget;
  }
  // The whole number in the field when it lies within low..high. Otherwise the range message is
  // shown in the language, the field takes the focus and there is nothing.
  std::optional<int> ReadNumber(QLineEdit& field, int low, int high, int language);
  // The page is made the visible tab, so that the control a message is about can be seen.
  void BringToFront();

  IPresenter& presenter_;
  bool filling_ = false;  // the handlers stay quiet while the controls are filled

 private:
  std::vector<std::pair<int, QWidget*>> byId_;
};

}  // namespace orvane::ui
