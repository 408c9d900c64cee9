// `CMyComboBox`: the prefix combo of the main window. Its entries are the prefixes followed by
// "...", which opens the editor of the prefix list; choosing another prefix tells the main window
// (message 0x433), which restarts the running number.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include <QComboBox>

#include "platform/messages.h"

namespace orvane::ui {

class CMyComboBox : public QComboBox {
 public:
  explicit CMyComboBox(QWidget* parent);

  // Told of a prefix change.
  void SetMainWindow(platform::TargetHandle target) { mainWindow_ = target; }
  // The editor behind "...": the new list of prefixes, or nothing when cancelled.
  void SetPrefixEditor(std::function<std::optional<std::vector<std::string>>()> editor) { editor_ = std::move(editor); }

  // The prefixes and "..."; the entry equal to `prefix` (ignoring case) is selected, none when
  // there is no such entry. The prefix itself is kept either way.
  void Fill(const std::vector<std::string>& prefixes, const std::string& prefix);
  const std::string& CurrentPrefix() const { return prefix_; }
  // The index of the last prefix chosen, shared by every combo for the program's run.
  static int RememberedIndex() { return rememberedIndex_; }

 private:
  void OnSelChange(int index);

  std::vector<std::string> entries_;
  std::string prefix_;
  platform::TargetHandle mainWindow_;
  std::function<std::optional<std::vector<std::string>>()> editor_;
  bool filling_ = false;
  static inline int rememberedIndex_ = 0;
};

}  // namespace orvane::ui
