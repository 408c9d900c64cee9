// The print job's printer choice through the common print dialog.
#pragma once

#include <memory>
#include <string>

#include "imaging/printing/print_module.h"

class QWidget;

namespace orvane::ui {

class PrintDialogChooser : public imaging::PrinterChooser {
 public:
  // `owner` owns the dialog (the main window); may be null.
  explicit PrintDialogChooser(QWidget* owner) : owner_(owner) {}

  // A high-resolution printer for the system's printers (CUPS), one copy from page 1 to 1 with
  // the selection option hidden; nothing when the dialog is cancelled.
  std::unique_ptr<QPrinter> ChoosePrinter(const std::string& documentName) override;
  // A message box without owner, empty caption and the stop icon.
  void ShowPrintFailure(const std::string& text) override;

 private:
  QWidget* owner_;
};

}  // namespace orvane::ui
