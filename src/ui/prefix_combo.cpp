#include "ui/prefix_combo.h"

#include <QSignalBlocker>

#include "platform/message_ids.h"

namespace orvane::ui {
namespace {
const char* const kEditEntry = "...";
}

CMyComboBox::CMyComboBox(QWidget* parent) : QComboBox(parent) {
  connect(this, &QComboBox::currentIndexChanged, this, [this](int index) {
    if (!filling_) OnSelChange(index);
  });
}

void CMyComboBox::Fill(const std::vector<std::string>& prefixes, const std::string& prefix) {
  filling_ = true;
  clear();
  entries_ = prefixes;
  entries_.push_back(kEditEntry);
  for (const std::string& entry : entries_) addItem(QString::fromStdString(entry));
  const int found = findText(QString::fromStdString(prefix), Qt::MatchFixedString);
  setCurrentIndex(found);
  prefix_ = prefix;
  if (found >= 0) rememberedIndex_ = found;
  filling_ = false;
}

void CMyComboBox::OnSelChange(int index) {
  const int count = static_cast<int>(entries_.size());
  if (index < 0 || index >= count) return;
  if (index == count - 1) {
    filling_ = true;
    setCurrentIndex(rememberedIndex_ < count - 1 ? rememberedIndex_ : -1);
    filling_ = false;
    std::optional<std::vector<std::string>> edited = editor_ ? editor_() : std::nullopt;
    if (edited) {
      filling_ = true;
      clear();
      entries_ = std::move(*edited);
      entries_.push_back(kEditEntry);
      for (const std::string& entry : entries_) addItem(QString::fromStdString(entry));
      if (rememberedIndex_ >= static_cast<int>(entries_.size()) - 1) rememberedIndex_ = 0;
      setCurrentIndex(rememberedIndex_);
      filling_ = false;
    }
  } else {
    rememberedIndex_ = index;
  }
  const int selected = currentIndex();
  if (selected < 0 || selected >= static_cast<int>(entries_.size()) - 1) return;
  if (entries_[static_cast<std::size_t>(selected)] == prefix_) return;
  prefix_ = entries_[static_cast<std::size_t>(selected)];
  platform::Send(mainWindow_, platform::message_ids::kPrefixChanged, 0, 0);
}

}  // namespace orvane::ui
