// The visible text of a group box (its title), a label or a button, set or read alike: the
// windows' language routines fill their captions from tables of control and text.
#pragma once

#include <cstddef>
#include <string>

class QWidget;

namespace orvane::ui {

void SetControlText(QWidget* control, const char* utf8);
std::string ControlText(const QWidget* control);

// A row of a window's language table: a control and its text in each of the three columns.
template <class Id>
struct Caption {
  Id id;
  const char* text[3];
};

// Every control of the table, found by `window.Control(id)`, given its text of `column`.
template <class Window, class Id, std::size_t N>
void SetCaptions(const Window& window, const Caption<Id> (&captions)[N], int column) {
  for (const Caption<Id>& caption : captions) SetControlText(window.Control(caption.id), caption.text[column]);
}

}  // namespace orvane::ui
