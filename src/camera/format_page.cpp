#include "camera/format_page.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/sys_param.h"
#include "camera/video_source.h"

namespace orvane {
namespace {

struct Texts {
  const char* title;
  const char* ok;
  const char* cancel;
};

// Simplified Chinese, Traditional Chinese, English.
constexpr Texts kTexts[] = {
    {"采集格式", "确定", "取消"},
    {"擷取格式", "確認", "取消"},
    {"Capture format", "OK", "Cancel"},
};

}  // namespace

std::unique_ptr<QDialog> BuildFormatDialog(QWidget* parent, const std::vector<FormatChoice>& choices,
                                           const FormatChoice& current, int language) {
  const Texts& texts = kTexts[TextColumn(language)];
  auto dialog = std::make_unique<QDialog>(parent);
  dialog->setWindowTitle(QString::fromUtf8(texts.title));
  auto* layout = new QVBoxLayout(dialog.get());
  auto* list = new QListWidget(dialog.get());
  list->setObjectName(QStringLiteral("formats"));
  for (const FormatChoice& choice : choices) {
    list->addItem(QStringLiteral("%1  %2 x %3")
                      .arg(choice.formatMode == kFormatMJPG ? QStringLiteral("MJPG") : QStringLiteral("YUY2"))
                      .arg(choice.width)
                      .arg(choice.height));
    if (choice == current) list->setCurrentRow(list->count() - 1);
  }
  layout->addWidget(list);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, dialog.get());
  buttons->button(QDialogButtonBox::Ok)->setText(QString::fromUtf8(texts.ok));
  buttons->button(QDialogButtonBox::Cancel)->setText(QString::fromUtf8(texts.cancel));
  QObject::connect(buttons, &QDialogButtonBox::accepted, dialog.get(), &QDialog::accept);
  QObject::connect(buttons, &QDialogButtonBox::rejected, dialog.get(), &QDialog::reject);
  QObject::connect(list, &QListWidget::itemDoubleClicked, dialog.get(), &QDialog::accept);
  layout->addWidget(buttons);
  return dialog;
}

std::optional<FormatChoice> ChosenFormat(const QDialog& dialog, const std::vector<FormatChoice>& choices) {
  const auto* list = dialog.findChild<QListWidget*>(QStringLiteral("formats"));
  if (list == nullptr) return std::nullopt;
  const int row = list->currentRow();
  if (row < 0 || row >= static_cast<int>(choices.size())) return std::nullopt;
  return choices[static_cast<std::size_t>(row)];
}

}  // namespace orvane
