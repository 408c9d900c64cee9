#include "ui/print_dialog_chooser.h"

#include <QMessageBox>
#include <QPrintDialog>
#include <QPrinter>

#include "platform/file_io.h"
#include "ui/message_texts.h"
#include "ui/presenter.h"

namespace orvane::ui {

std::unique_ptr<QPrinter> PrintDialogChooser::ChoosePrinter(const std::string& documentName) {
  auto printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
  printer->setDocName(QString::fromStdString(documentName));
  printer->setCopyCount(1);
  printer->setFromTo(1, 1);
  if (!printToFile_.empty()) {
    // Naming the file switches the printer to PDF; a printer of the system stays the first choice
    // where there is one, and the dialog offers the file beside it.
    const QPrinter::OutputFormat format = printer->outputFormat();
    printer->setOutputFileName(QString::fromStdString(printToFile_.string()));
    printer->setOutputFormat(format);
  }
  QPrintDialog dialog(printer.get(), owner_);
  dialog.setOption(QAbstractPrintDialog::PrintSelection, false);
  dialog.setMinMax(1, 65535);
  if (dialog.exec() != QDialog::Accepted) return nullptr;
  return printer;
}

void PrintDialogChooser::ShowPrintFailure(const std::string& text) {
  QMessageBox box(QMessageBox::Critical, QString::fromStdString(StationCaption()), QString::fromStdString(text),
                  QMessageBox::Ok);
  box.exec();
}

std::filesystem::path FreePrintFile(const std::filesystem::path& wanted) {
  if (wanted.empty()) return {};
  // A link counts as taken, whether or not it leads anywhere.
  const auto taken = [](const std::filesystem::path& file) {
    std::error_code error;
    return std::filesystem::symlink_status(file, error).type() != std::filesystem::file_type::not_found;
  };
  if (!taken(wanted)) return wanted;
  for (int attempt = 0;; ++attempt) {
    const std::filesystem::path next = platform::NextDashedName(wanted, attempt);
    if (next.empty() || !taken(next)) return next;
  }
}

std::unique_ptr<QPrinter> PresenterPrinterChooser::ChoosePrinter(const std::string& documentName) {
  return presenter_.ChoosePrinter(owner_, documentName, FreePrintFile(printToFile_));
}

void PresenterPrinterChooser::ShowPrintFailure(const std::string& text) {
  presenter_.ShowMessage(nullptr, text, StationCaption(), MessageIcon::kError);
}

}  // namespace orvane::ui
