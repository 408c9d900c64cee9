// The visible text of a group box (its title), a label or a button, set or read alike: the
// windows' language routines fill their captions from tables of control and text.
#pragma once

#include <string>

class QWidget;

namespace orvane::ui {

void SetControlText(QWidget* control, const char* utf8);
std::string ControlText(const QWidget* control);

}  // namespace orvane::ui
