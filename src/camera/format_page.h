// The camera's capture format in a modal dialog: every pixel format it streams with every size it
// offers in that format, the current one selected.
#pragma once

#include <memory>
#include <optional>
#include <vector>

class QDialog;
class QListWidget;
class QWidget;

namespace orvane {

struct FormatChoice {
  int formatMode = 0;  // kFormatYUY2 or kFormatMJPG
  int width = 0;
  int height = 0;
  bool operator==(const FormatChoice&) const = default;
};


// Built apart from showing it, so it can be driven without a modal loop. The list is the
// dialog's child named "formats"; its rows are `choices` in order. Its texts are in `language`.
std::unique_ptr<QDialog> BuildFormatDialog(QWidget* parent, const std::vector<FormatChoice>& choices,
                                           const FormatChoice& current, int language);
// The row the dialog's list has selected; nothing when none is.
std::optional<FormatChoice> ChosenFormat(const QDialog& dialog, const std::vector<FormatChoice>& choices);

}  // namespace orvane
